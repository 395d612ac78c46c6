! A client of coefficient files: reads a ".cof" the way the ray-trace program consumes it
! (the title with A50, then free-form groups of 4, 4 and 1 values, the shape line with A80,
! then groups of 1, 1, 16, 40, 24, 12 and 4 values, each READ starting on a new record)
! and prints what it got.
!
! Usage: cof_reader file
! Output: "title [" title "]", "shape [" first non-blank character "]", then the 107
! values in reading order, one per line as the 16 hex digits of their bits; the last line
! is "ok", or "err" when a READ failed.
program cof_reader
  use, intrinsic :: iso_fortran_env, only: int64
  implicit none
  character(len=1024) :: name
  character(len=50) :: title
  character(len=80) :: shape
  real(8) :: obj(4), ap(4), coll, shadow, total, first(16), second(40), third(24), fifth(12), chrom(4)
  integer :: ios

  call get_command_argument(1, name)
  open(10, file=name, status='old', action='read')
  read(10, '(A50)', iostat=ios) title
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) obj
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) ap
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) coll
  if (ios /= 0) goto 900
  read(10, '(A80)', iostat=ios) shape
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) shadow
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) total
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) first
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) second
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) third
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) fifth
  if (ios /= 0) goto 900
  read(10, *, iostat=ios) chrom
  if (ios /= 0) goto 900

  write(*, '(A,A,A)') 'title [', title, ']'
  shape = adjustl(shape)
  write(*, '(A,A,A)') 'shape [', shape(1:1), ']'
  call put(obj)
  call put(ap)
  call put([coll])
  call put([shadow, total])
  call put(first)
  call put(second)
  call put(third)
  call put(fifth)
  call put(chrom)
  write(*, '(A)') 'ok'
  stop
900 write(*, '(A)') 'err'

contains

  subroutine put(v)
    real(8), intent(in) :: v(:)
    integer :: k
    do k = 1, size(v)
      write(*, '(Z16.16)') transfer(v(k), 0_int64)
    end do
  end subroutine put

end program cof_reader
