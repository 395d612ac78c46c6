! A Fortran client of the system data file: reads a ".vrn" file the way a Fortran program
! would (title with (A50), every other record with list-directed READ) and prints what it got.
!
! Usage: vrn_reader file
! Output: "title [" the 50 characters "]", then one line per row: the row number in I0 and the
! values of its record (5 particle, 6 beam, 4 per element) as the 16 hex digits of their bits.
! The reading stops after the System End (integer part of the code 9) or at row 40.
! Exit status 0 when the file was read up to a System End, 3 on a read error or end of file.
program vrn_reader
  implicit none
  integer, parameter :: max_rows = 40
  character(len=1024) :: name
  character(len=50) :: title
  real(8) :: row(6)
  integer :: iz, ios

  call get_command_argument(1, name)
  open(10, file=name, status='old', action='read', iostat=ios)
  if (ios /= 0) stop 2
  read(10, '(A50)', iostat=ios) title
  if (ios /= 0) stop 3
  write(*, '(A,A,A)') 'title [', title, ']'

  row = 0
  read(10, *, iostat=ios) row(1:5)
  if (ios /= 0) stop 3
  call put(1, row, 5)
  row = 0
  read(10, *, iostat=ios) row(1:6)
  if (ios /= 0) stop 3
  call put(2, row, 6)
  do iz = 3, max_rows
    row = 0
    read(10, *, iostat=ios) row(1:4)
    if (ios /= 0) stop 3
    call put(iz, row, 4)
    if (int(row(1)) == 9) stop 0
  end do
  stop 3

contains

  subroutine put(iz, values, n)
    integer, intent(in) :: iz, n
    real(8), intent(in) :: values(:)
    integer :: k
    write(*, '(I0)', advance='no') iz
    do k = 1, n
      write(*, '(1X,Z16.16)', advance='no') values(k)
    end do
    write(*, '(A)') ''
  end subroutine put

end program vrn_reader
