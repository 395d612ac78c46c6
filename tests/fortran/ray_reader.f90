! A client of ray files: reads a ".bin" as a Fortran program does (unformatted sequential:
! the caption as CHARACTER(100), then one record of five REAL(8) per ray) and prints it.
!
! Usage: ray_reader file
! Output: "caption [" caption "]", then for every ray one line with the 16 hex digits of the
! bits of x, th, y, ph and d, and last "rays " and their number.
program ray_reader
  use, intrinsic :: iso_fortran_env, only: int64
  implicit none
  character(len=1024) :: name
  character(len=100) :: caption
  real(8) :: r(5)
  integer :: ios, n, k

  call get_command_argument(1, name)
  open(10, file=name, status='old', form='unformatted', access='sequential', action='read')
  read(10, iostat=ios) caption
  if (ios /= 0) then
    write(*, '(A)') 'no caption'
    stop
  end if
  write(*, '(A,A,A)') 'caption [', caption, ']'
  n = 0
  do
    read(10, iostat=ios) r
    if (ios /= 0) exit
    n = n + 1
    write(*, '(5(Z16.16,:,1X))') (transfer(r(k), 0_int64), k = 1, 5)
  end do
  write(*, '(A,I0)') 'rays ', n
end program ray_reader
