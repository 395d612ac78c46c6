! Expected printed output of the minimiser for small cases whose course is worked out by
! hand (values in the comments of each case). The records are written by a real Fortran
! runtime with the minimiser's layouts, so the comparison checks both the layouts chosen
! and the numbers. Usage: stepit_expected A|B|C|D|E|F|G
program stepit_expected
  implicit none
  character(len=8) :: which
  call get_command_argument(1, which)
  select case (which(1:1))
  case ('A')
    call trace_one_variable()
  case ('B')
    call no_variables()
  case ('C')
    call error_matrix_regular()
  case ('D')
    call error_matrix_singular()
  case ('E')
    call error_matrix_negative_definite()
  case ('F')
    call error_matrix_negative_mse()
  case ('G')
    call twelve_at_minimum()
  case default
    stop 1
  end select

contains

  subroutine start(nv, mask, x, xmax, xmin, deltax, delmin)
    integer, intent(in) :: nv, mask(:)
    double precision, intent(in) :: x(:), xmax(:), xmin(:), deltax(:), delmin(:)
    integer :: i
    write(6,*) 'Call to STEPIT: NV=', nv
    write(6,'(A,A)') char(12), 'ENTER SUBROUTINE STEPIT.'
    write(6,'(/,'' INITIAL VALUES....'')')
    write(6,'(/,10H MASK   = ,10(I6,6X),/,(4X,10I12))') (mask(i), i = 1, nv)
    write(6,'(/,10H X      = ,10E12.4,/,(10X,10E12.4))') (x(i), i = 1, nv)
    write(6,'(/,10H XMAX   = ,10E12.4,/,(10X,10E12.4))') (xmax(i), i = 1, nv)
    write(6,'(/,10H XMIN   = ,10E12.4,/,(10X,10E12.4))') (xmin(i), i = 1, nv)
    write(6,'(/,10H DELTAX = ,10E12.4,/,(10X,10E12.4))') (deltax(i), i = 1, nv)
    write(6,'(/,10H DELMIN = ,10E12.4,/,(10X,10E12.4))') (delmin(i), i = 1, nv)
  end subroutine

  subroutine summary(nv, nact, matrx, compar, chisq)
    integer, intent(in) :: nv, nact, matrx
    double precision, intent(in) :: compar, chisq
    real :: colin = 0.99
    write(6,'(/,/,1H ,I3,11H VARIABLES,,I3,8H ACTIVE.,10X,8HMATRIX =,I4,10X,7HNCOMP =,I2,/,/,' // &
            '8H RATIO =,F5.1,10X,5H ACK=,F5.1,10X,7HCOLIN =,F6.3,10X,8HCOMPAR =,F6.3,/,/,/,' // &
            '8H CHISQ =,E15.8)') nv, nact, matrx, 5, 10.0d0, 2.0d0, dble(colin), compar, chisq
  end subroutine

  subroutine finish(nfunc)
    integer, intent(in) :: nfunc
    write(6,'(/,/,1X,I5,23H FUNCTION COMPUTATIONS )') nfunc
  end subroutine

  subroutine final(nv, x, chisq)
    integer, intent(in) :: nv
    double precision, intent(in) :: x(:), chisq
    integer :: i
    write(6,'(/,/,/,10X,24HFINAL VALUES OF X(I)....,/,/,(7(1X,E16.9)))') (x(i), i = 1, nv)
    write(6,'(/,/,24H FINAL VALUE OF CHISQ = ,E15.8,/,/)') chisq
  end subroutine

  subroutine point(chisq, nv, x)
    integer, intent(in) :: nv
    double precision, intent(in) :: chisq, x(:)
    integer :: i
    write(6,'(8H CHISQ =,E15.8,/,9H X(I)....,/,(10(1X,E12.5)))') chisq, (x(i), i = 1, nv)
  end subroutine

  ! f(x) = max(0, 0.75 - x) from x = 0 with DELTAX = 0.125, full trace.
  ! Cycle 1: 0.125 (0.625), 0.375 (0.375), 0.875 (0) better; 1.875 (0) not; the parabola
  ! through 0.375, 0.875, 1.875 gives 1.375 (0), not better. Moved 7 steps: the step
  ! becomes 0.25. Cycle 2: 1.125 (0), 0.625 (0.125), parabola vertex 1.0 (0): nothing, the
  ! steps are reduced. From then on x +- step gives 0 on both sides: two evaluations per
  ! step size, until the step 2.5E-10 is no larger than DELMIN = 0.125 / 2E8 = 6.25E-10.
  ! The steps 2.5E-9 and 2.5E-10 are negligible at x = 0.875 (step x 2E8 <= x) and cost no
  ! evaluation. Evaluations: 1 + 5 + 3 + 7 x 2 = 23.
  subroutine trace_one_variable()
    double precision :: step
    integer :: k
    call start(1, (/0/), (/0d0/), (/1d20/), (/-1d20/), (/0.125d0/), (/6.25d-10/))
    call summary(1, 1, 0, 0d0, 0.75d0)
    write(6,'(/,60(1X,1H*),/,/,'' TRACE MAP OF THE MINIMIZATION PROCESS'',/,/,60(1X,1H*))')
    write(6,'(10H STEP SIZE,I3,14H INCREASED TO ,E12.5)') 1, 0.25d0
    step = 0.25d0
    do k = 1, 9
      call point(0d0, 1, (/0.875d0/))
      step = step / 10
      write(6,'(60(1X,1H*),/,/,26H STEP SIZES REDUCED TO....,/,/,(10(1X,E12.5)))') step
    end do
    call point(0d0, 1, (/0.875d0/))
    call finish(23)
    call final(1, (/0.875d0/), 0d0)
  end subroutine

  ! No variables, f = 42: one evaluation, no error matrix although MATRX = 100.
  subroutine no_variables()
    integer :: none(0)
    double precision :: empty(0)
    call start(0, none, empty, empty, empty, empty, empty)
    call summary(0, 0, 100, 0d0, 42d0)
    call finish(1)
    call final(0, empty, 42d0)
  end subroutine

  ! Two variables starting at their minimum (0, 0) with DELTAX = 0.5 and no bounds: at
  ! every step size both trials of each variable are equal and no lower, so four
  ! evaluations per size, for the sizes 0.5 down to 5E-10 (DELMIN 2.5E-9): 1 + 10 x 4 = 41.
  ! The final steps are 5E-11. COMPAR for two active variables: 0.99876.
  subroutine two_at_minimum(matrx)
    integer, intent(in) :: matrx
    call start(2, (/0, 0/), (/0d0, 0d0/), (/1d20, 1d20/), (/-1d20, -1d20/), (/0.5d0, 0.5d0/), &
               (/2.5d-9, 2.5d-9/))
    call summary(2, 2, matrx, 0.9987563d0, 0d0)
    call finish(41)
  end subroutine

  subroutine heading(text)
    character(len=*), intent(in) :: text
    write(6,'(/,/,1X,A,/)') text
  end subroutine

  subroutine row(n, v)
    integer, intent(in) :: n
    double precision, intent(in) :: v(:)
    integer :: i
    write(6,'(10(1X,E12.5))') (v(i), i = 1, n)
  end subroutine

  ! f = x**2 + 2 y**2 + x y, MATRX = 100: increments 5E-11, H = [[2, 1], [1, 4]],
  ! det 7, inverse [[4, -1], [-1, 2]] / 7, errors sqrt(4/7) and sqrt(2/7), correlation
  ! -1 / sqrt(8).
  subroutine error_matrix_regular()
    call two_at_minimum(100)
    call heading('SIZES OF INCREMENTS TO BE USED BELOW....')
    call row(2, (/5d-11, 5d-11/))
    call heading('MATRIX OF THE SECOND PARTIAL DERIVATIVES....')
    call row(2, (/2d0, 1d0/))
    call row(2, (/1d0, 4d0/))
    write(6,'(/,/,'' DETERMINANT OF ABOVE MATRIX = '',E12.5,5X,''LOG10F(DET) = '',F10.4)') 7d0, log10(7d0)
    call heading('ERROR MATRIX....')
    call row(2, (/4d0 / 7, -1d0 / 7/))
    call row(2, (/-1d0 / 7, 2d0 / 7/))
    call heading('STANDARD ERRORS....')
    call row(2, (/sqrt(4d0 / 7), sqrt(2d0 / 7)/))
    call heading('LOWER TRIANGLE OF THE CORRELATION MATRIX....')
    call row(1, (/1d0/))
    call row(2, (/-1d0 / sqrt(8d0), 1d0/))
    call final(2, (/0d0, 0d0/), 0d0)
  end subroutine

  ! f = x**2 (y has no effect), MATRX = 100: H = [[2, 0], [0, 0]].
  subroutine error_matrix_singular()
    call two_at_minimum(100)
    call heading('SIZES OF INCREMENTS TO BE USED BELOW....')
    call row(2, (/5d-11, 5d-11/))
    call heading('MATRIX OF THE SECOND PARTIAL DERIVATIVES....')
    call row(2, (/2d0, 0d0/))
    call row(2, (/0d0, 0d0/))
    write(6,'(/,A)') ' THE ABOVE MATRIX CONTAINS ONE OR MORE ZEROES, A LARGER VALUE OF "MATRIX" ' // &
                     'SHOULD BE TRIED TO SEE IF THEY ARE LEGITIMATE'
    write(6,'(/,/,'' DETERMINANT OF ABOVE MATRIX = '',E12.5)') 0d0
    write(6,'(/,A)') ' ERROR MATRIX IS SINGULAR. "MATRIX" SHOULD PROBABLY BE INCREASED'
    call final(2, (/0d0, 0d0/), 0d0)
  end subroutine

  ! f = x**2 + y**2 + x y / 4 - x**4 - y**4, MATRX = 111: increments 5, where the quartic
  ! terms rule: H = [[-48, 0.25], [0.25, -48]], det 2303.9375. The probe (5, 5) with
  ! -1193.75 is the best point evaluated, and so the result.
  subroutine error_matrix_negative_definite()
    call two_at_minimum(111)
    call heading('SIZES OF INCREMENTS TO BE USED BELOW....')
    call row(2, (/5d0, 5d0/))
    call heading('MATRIX OF THE SECOND PARTIAL DERIVATIVES....')
    call row(2, (/-48d0, 0.25d0/))
    call row(2, (/0.25d0, -48d0/))
    write(6,'(/,/,'' DETERMINANT OF ABOVE MATRIX = '',E12.5,5X,''LOG10F(DET) = '',F10.4)') &
      2303.9375d0, log10(2303.9375d0)
    write(6,'(/,A)') ' ERROR MATRIX IS NEGATIVE DEFINITE. "MATRIX" SHOULD  PROBABLY BE DECREASED'
    call final(2, (/5d0, 5d0/), -1193.75d0)
  end subroutine

  ! f = x**2 - x**4 + y**2 + x y / 2, MATRX = 111: H = [[-48, 0.5], [0.5, 2]], det -96.25,
  ! inverse [[2, -0.5], [-0.5, -48]] / (-96.25): the first diagonal term is negative. The
  ! probe (5, 0) with -600 is the best point evaluated.
  subroutine error_matrix_negative_mse()
    call two_at_minimum(111)
    call heading('SIZES OF INCREMENTS TO BE USED BELOW....')
    call row(2, (/5d0, 5d0/))
    call heading('MATRIX OF THE SECOND PARTIAL DERIVATIVES....')
    call row(2, (/-48d0, 0.5d0/))
    call row(2, (/0.5d0, 2d0/))
    write(6,'(/,/,'' DETERMINANT OF ABOVE MATRIX = '',E12.5,5X,''LOG10F(DET) = '',F10.4)') &
      -96.25d0, log10(96.25d0)
    call heading('ERROR MATRIX....')
    call row(2, (/2d0 / (-96.25d0), 0.5d0 / 96.25d0/))
    call row(2, (/0.5d0 / 96.25d0, 48d0 / 96.25d0/))
    write(6,'(/,A,E15.8,/,A)') ' NEGATIVE OR ZERO MEAN SQUARE ERROR ENCOUNTERED...', 2d0 / (-96.25d0), &
      ' "MATRIX" SHOULD PROBABLY BE DECREASED.'
    call final(2, (/5d0, 0d0/), -600d0)
  end subroutine

  ! f = sum of x(i)**2 over twelve variables from their minimum, DELTAX = 0.5: as in
  ! two_at_minimum, 2 x 12 evaluations for each of the ten step sizes: 241. The records
  ! of more than ten (initial) and seven (final) values continue on further lines.
  ! COMPAR for twelve active variables: a = 2/11, s = 2.8759, 0.58343.
  subroutine twelve_at_minimum()
    integer :: mask(12) = 0
    double precision :: zero(12) = 0d0, big(12) = 1d20, half(12) = 0.5d0, small(12) = 2.5d-9
    call start(12, mask, zero, big, -big, half, small)
    call summary(12, 12, 0, 0.58343d0, 0d0)
    call finish(241)
    call final(12, zero, 0d0)
  end subroutine

end program
