! Writes a ray file with the Fortran runtime's unformatted sequential output, so that the
! ray-trace program's reader can be checked against files it did not write itself.
!
! Usage: ray_writer file n
! Writes the caption "Rays from the Fortran client" and n rays whose values follow a
! formula, and prints each ray as ray_reader does (without the caption and count lines).
program ray_writer
  use, intrinsic :: iso_fortran_env, only: int64
  implicit none
  character(len=1024) :: name, count_text
  character(len=100) :: caption
  real(8) :: r(5)
  integer :: n, i, k

  call get_command_argument(1, name)
  call get_command_argument(2, count_text)
  read(count_text, *) n
  caption = 'Rays from the Fortran client'
  open(10, file=name, status='replace', form='unformatted', access='sequential', action='write')
  write(10) caption
  do i = 1, n
    do k = 1, 5
      r(k) = cos(1.3d0 * i + k) * 10.0d0**(-k - mod(i, 4))
    end do
    write(10) r
    write(*, '(5(Z16.16,:,1X))') (transfer(r(k), 0_int64), k = 1, 5)
  end do
  close(10)
end program ray_writer
