! Reference records from the Fortran runtime, one case per input line, for the record
! formatter's differential test. Each case's records are followed by a line holding "~"
! ("?" instead of the records when the runtime refuses the case). Input lines:
!   R hhhhhhhhhhhhhhhh layout           a real given by its 16 hex digits (IEEE bits)
!   I nnnnnnnnnnnnnnnnnnnn layout       an integer in columns 3-22
!   A ll tttt...(40 columns)... layout  ll characters of text from column 6, layout from 47
!   LR hhhhhhhhhhhhhhhh                 list-directed: the real alone
!   LI nnnnnnnnnnnnnnnnnnnn             list-directed: the integer alone (default kind when it fits)
!   LM hhhhhhhhhhhhhhhh nnnnnnnnnnnnnnnnnnnn   list-directed: 'ab', x, i, 'cd', 'e', x, i
program edit_oracle
  implicit none
  character(len=1000) :: line, layout
  integer(kind=8) :: bits, ival
  integer :: ios, n
  double precision :: x

  do
    read (5, '(A)', iostat=ios) line
    if (ios /= 0) exit
    ios = 0
    select case (line(1:2))
    case ('R ')
      read (line(3:18), '(Z16)') bits
      x = transfer(bits, x)
      layout = line(20:)
      write (6, layout, iostat=ios) x
    case ('I ')
      read (line(3:22), '(I20)') ival
      layout = line(24:)
      write (6, layout, iostat=ios) ival
    case ('A ')
      read (line(3:4), '(I2)') n
      layout = line(47:)
      write (6, layout, iostat=ios) line(6:5 + n)
    case ('LR')
      read (line(4:19), '(Z16)') bits
      x = transfer(bits, x)
      write (6, *) x
    case ('LI')
      read (line(4:23), '(I20)') ival
      call write_integer(ival)
    case ('LM')
      read (line(4:19), '(Z16)') bits
      x = transfer(bits, x)
      read (line(21:40), '(I20)') ival
      write (6, *) 'ab', x, int(ival, kind=4), 'cd', 'e', x, int(ival, kind=4)
    case default
      ios = 1
    end select
    if (ios /= 0) write (6, '(A)') '?'
    write (6, '(A)') '~'
  end do

contains

  subroutine write_integer(v)
    integer(kind=8), intent(in) :: v
    if (v >= -huge(1) - 1 .and. v <= huge(1)) then
      write (6, *) int(v, kind=4)
    else
      write (6, *) v
    end if
  end subroutine write_integer

end program edit_oracle
