! Writes a coefficient file with the Fortran runtime's own list-directed output, so that the
! ray-trace program's reader can be checked against files it did not write itself.
!
! Usage: cof_writer file style
!   style "group":  each group of values on one record
!   style "each":   every value on a record of its own
!   style "spread": each group spread over records of at most three values, with commas
! The 107 values are fixed by a formula. They are printed to standard output in reading
! order, one per line as the 16 hex digits of their bits.
program cof_writer
  use, intrinsic :: iso_fortran_env, only: int64
  implicit none
  character(len=1024) :: name, style
  real(8) :: v(107)
  integer :: k

  call get_command_argument(1, name)
  call get_command_argument(2, style)
  do k = 1, 107
    v(k) = sin(0.7d0 * k) * 10.0d0**(mod(k, 9) - 5)
  end do
  v(9) = 2.5d0         ! the collimator distance
  open(10, file=name, status='replace', action='write')
  write(10, '(A)') ' Written by the Fortran client of coefficient files'
  call group(v(1:4))
  call group(v(5:8))
  call group(v(9:9))
  write(10, '(A)') '   S'
  call group(v(10:10))
  call group(v(11:11))
  call group(v(12:27))
  call group(v(28:67))
  call group(v(68:91))
  call group(v(92:103))
  call group(v(104:107))
  close(10)
  do k = 1, 107
    write(*, '(Z16.16)') transfer(v(k), 0_int64)
  end do

contains

  subroutine group(g)
    real(8), intent(in) :: g(:)
    integer :: i
    select case (trim(style))
    case ('each')
      do i = 1, size(g)
        write(10, *) g(i)
      end do
    case ('spread')
      do i = 1, size(g), 3
        write(10, '(3(ES25.17E3,:,","))') g(i:min(i + 2, size(g)))
      end do
    case default
      write(10, *) g
    end select
  end subroutine group

end program cof_writer
