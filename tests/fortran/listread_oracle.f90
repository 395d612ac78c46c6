! Reference for the list-directed and fixed-field readers: performs the READ requests of a
! script file, in order, on one data file and prints what each READ delivered.
!
! Usage: listread_oracle script data
! Script lines, one request each:
!   R n        one list-directed READ of n real(8) (n = 0 skips a record)
!   I n        one list-directed READ of n integers
!   A w n      one list-directed READ of n texts of length w
!   M          one list-directed READ of the mixed list: real, integer, text(8), real
!   F w n      READ with the layout (nFw.0) into n real(8)
!   G w n      READ with the layout (nIw) into n integers
! Before every request the items are set to the sentinels -7.25, -77 and '?' repeated.
! Output, one line per request: the status class (ok, eof, err), then each item: reals as
! the 16 hex digits of their bits, integers in I0, texts between [ and ].
program listread_oracle
  implicit none
  integer, parameter :: max_items = 2000, max_text = 64
  character(len=1024) :: script_name, data_name, line
  character(len=40) :: layout
  real(8) :: reals(max_items)
  integer :: ints(max_items)
  character(len=max_text) :: words(max_items)
  character(len=8) :: mtext
  integer :: n, w, k, ios, sios

  call get_command_argument(1, script_name)
  call get_command_argument(2, data_name)
  open(11, file=script_name, status='old', action='read')
  open(12, file=data_name, status='old', action='read')
  do
    read(11, '(A)', iostat=sios) line
    if (sios /= 0) exit
    line = adjustl(line)
    if (line == ' ') cycle
    reals = -7.25d0
    ints = -77
    words = repeat('?', max_text)
    mtext = repeat('?', 8)
    select case (line(1:1))
    case ('R')
      read(line(2:), *) n
      if (n == 0) then
        read(12, *, iostat=ios)
      else
        read(12, *, iostat=ios) (reals(k), k = 1, n)
      end if
      call put_status(ios)
      do k = 1, n
        call put_real(reals(k))
      end do
    case ('I')
      read(line(2:), *) n
      read(12, *, iostat=ios) (ints(k), k = 1, n)
      call put_status(ios)
      do k = 1, n
        call put_int(ints(k))
      end do
    case ('A')
      read(line(2:), *) w, n
      read(12, *, iostat=ios) (words(k)(1:w), k = 1, n)
      call put_status(ios)
      do k = 1, n
        call put_text(words(k)(1:w))
      end do
    case ('M')
      read(12, *, iostat=ios) reals(1), ints(1), mtext, reals(2)
      call put_status(ios)
      call put_real(reals(1))
      call put_int(ints(1))
      call put_text(mtext)
      call put_real(reals(2))
    case ('F')
      read(line(2:), *) w, n
      write(layout, '(A,I0,A,I0,A)') '(', n, 'F', w, '.0)'
      read(12, layout, iostat=ios) (reals(k), k = 1, n)
      call put_status(ios)
      do k = 1, n
        call put_real(reals(k))
      end do
    case ('G')
      read(line(2:), *) w, n
      write(layout, '(A,I0,A,I0,A)') '(', n, 'I', w, ')'
      read(12, layout, iostat=ios) (ints(k), k = 1, n)
      call put_status(ios)
      do k = 1, n
        call put_int(ints(k))
      end do
    end select
    write(*, '(A)') ''
  end do

contains

  subroutine put_status(ios)
    integer, intent(in) :: ios
    if (ios == 0) then
      write(*, '(A)', advance='no') 'ok'
    else if (ios < 0) then
      write(*, '(A)', advance='no') 'eof'
    else
      write(*, '(A)', advance='no') 'err'
    end if
  end subroutine

  subroutine put_real(x)
    real(8), intent(in) :: x
    write(*, '(1X,Z16.16)', advance='no') transfer(x, 0_8)
  end subroutine

  subroutine put_int(i)
    integer, intent(in) :: i
    write(*, '(1X,I0)', advance='no') i
  end subroutine

  subroutine put_text(t)
    character(len=*), intent(in) :: t
    write(*, '(1X,3A)', advance='no') '[', t, ']'
  end subroutine
end program
