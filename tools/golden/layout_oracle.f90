! Reference output of fixed-layout templates, produced by the Fortran runtime.
! Reads case descriptions from the file named on the command line and writes,
! for each case, the values (reals as bit patterns) and the exact lines the
! template produces. Usage: layout_oracle layout_cases.txt > layout.golden
!
! Case file:
!   @ <template>             starts a case
!   A |<text>|               one text value (between the bars)
!   I <int> ...              integer values
!   R <real> ...             single-precision values (read list-directed)
!   D <real> ...             double-precision values
!   L <T|F> ...              logical values
!   RANDOM <n> <k> <template>  n cases of k random single-precision values
! Within a case the values are passed in the order A, I, R, D, L.
program layout_oracle
  implicit none
  integer, parameter :: maxv = 200
  character(len=400) :: line, fmt, cases_file
  character(len=200) :: a(maxv)
  integer :: alen(maxv)
  integer :: na, ni, nr, nd, nl
  integer(4) :: iv(maxv)
  real(4) :: rv(maxv)
  real(8) :: dv(maxv)
  logical :: lv(maxv)
  integer :: ios, n, k, i, j, ncase, nvals
  integer(8) :: seed
  logical :: open_case

  call get_command_argument(1, cases_file)
  open(10, file=trim(cases_file), status='old', action='read')
  seed = 20240601_8
  open_case = .false.
  do
    read(10, '(A)', iostat=ios) line
    if (ios /= 0) exit
    if (len_trim(line) == 0 .or. line(1:1) == '#') cycle
    if (line(1:7) == 'RANDOM ') then
      if (open_case) call run_case()
      open_case = .false.
      read(line(8:), *) ncase, nvals
      ! the template follows the two numbers
      i = index(line, '(')
      fmt = line(i:)
      do j = 1, ncase
        na = 0; ni = 0; nd = 0; nl = 0
        nr = nvals
        do k = 1, nvals
          rv(k) = random_real()
        end do
        call run_case()
      end do
      cycle
    end if
    select case (line(1:1))
    case ('@')
      if (open_case) call run_case()
      fmt = adjustl(line(2:))
      na = 0; ni = 0; nr = 0; nd = 0; nl = 0
      open_case = .true.
    case ('A')
      ! the text lies between the first and the last '|'
      na = na + 1
      i = index(line, '|')
      j = index(line, '|', back=.true.)
      a(na) = line(i + 1:j - 1)
      alen(na) = j - i - 1
    case ('I')
      n = count_tokens(line(2:))
      read(line(2:), *) (iv(ni + k), k = 1, n)
      ni = ni + n
    case ('R')
      n = count_tokens(line(2:))
      read(line(2:), *) (rv(nr + k), k = 1, n)
      nr = nr + n
    case ('D')
      n = count_tokens(line(2:))
      read(line(2:), *) (dv(nd + k), k = 1, n)
      nd = nd + n
    case ('L')
      n = count_tokens(line(2:))
      read(line(2:), *) (lv(nl + k), k = 1, n)
      nl = nl + n
    case default
      stop 'unknown case line'
    end select
  end do
  if (open_case) call run_case()

contains

  integer function count_tokens(s)
    character(len=*), intent(in) :: s
    integer :: p
    logical :: inside
    count_tokens = 0
    inside = .false.
    do p = 1, len_trim(s)
      if (s(p:p) == ' ' .or. s(p:p) == ',') then
        inside = .false.
      else if (.not. inside) then
        inside = .true.
        count_tokens = count_tokens + 1
      end if
    end do
  end function count_tokens

  integer function next_random(m)
    ! 0 .. m-1 from a 64-bit linear congruential generator
    integer, intent(in) :: m
    seed = seed * 6364136223846793005_8 + 1442695040888963407_8
    next_random = int(modulo(ishft(seed, -33), int(m, 8)))
  end function next_random

  real(4) function random_real()
    integer :: mode, e, steps, s
    integer(4) :: bits
    real(4), parameter :: edges(12) = [0.099995, 0.1, 0.99995, 1.0, 9.9995, 10.0, &
                                       99.995, 100.0, 999.95, 1000.0, 9999.5, 10000.0]
    mode = next_random(6)
    select case (mode)
    case (0)  ! a few digits at a random decade
      e = next_random(17) - 8
      random_real = real(next_random(100000), 4) / 10000.0 * 10.0**e
    case (1)  ! any finite bit pattern
      do
        bits = int(next_random(65536), 4) * 65536 + int(next_random(65536), 4)
        random_real = transfer(bits, 1.0_4)
        if (abs(random_real) <= huge(1.0_4)) exit
      end do
    case (2)  ! next to a decade edge of the G10.4 form
      random_real = edges(next_random(12) + 1)
      steps = next_random(7) - 3
      do s = 1, abs(steps)
        random_real = nearest(random_real, real(steps, 4))
      end do
    case (3)  ! exact binary fractions: ties when rounded to few decimals
      random_real = real(next_random(20000), 4) / 2.0**(next_random(8) + 1)
    case (4)  ! moderate values as the fit prints them
      random_real = real(next_random(2000000), 4) / 1000.0 - 1000.0
    case default  ! small values
      random_real = real(next_random(1000000), 4) * 1.0e-7
    end select
    if (next_random(2) == 1) random_real = -random_real
  end function random_real

  subroutine run_case()
    character(len=2000) :: buf
    character(len=2000), allocatable :: out(:)
    integer :: u, ios2, sz, nlines, p
    integer(8) :: dbits
    allocate(out(200))
    print '(A,A)', '@ ', trim(fmt)
    do p = 1, na
      print '(A,A,A)', 'A |', a(p)(1:alen(p)), '|'
    end do
    do p = 1, ni
      print '(A,I0)', 'I ', iv(p)
    end do
    do p = 1, nr
      print '(A,Z8.8)', 'R ', transfer(rv(p), 1_4)
    end do
    do p = 1, nd
      dbits = transfer(dv(p), 1_8)
      print '(A,Z16.16)', 'D ', dbits
    end do
    do p = 1, nl
      print '(A,L1)', 'L ', lv(p)
    end do
    open(newunit=u, status='scratch', form='formatted', recl=10000)
    write(u, fmt) (a(p)(1:alen(p)), p = 1, na), (iv(p), p = 1, ni), (rv(p), p = 1, nr), &
                  (dv(p), p = 1, nd), (lv(p), p = 1, nl)
    rewind(u)
    nlines = 0
    do
      read(u, '(A)', advance='no', size=sz, iostat=ios2) buf
      if (ios2 > 0 .or. is_iostat_end(ios2)) exit
      nlines = nlines + 1
      out(nlines) = buf(1:sz)
      if (.not. is_iostat_eor(ios2)) then
        ! record longer than the buffer: not expected
        stop 'record too long'
      end if
      out(nlines)(sz + 1:sz + 1) = '|'
    end do
    close(u)
    print '(A,I0)', '= ', nlines
    do p = 1, nlines
      print '(A,A)', '|', out(p)(1:index(out(p), '|', back=.true.))
    end do
  end subroutine run_case

end program layout_oracle
