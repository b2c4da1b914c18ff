! Reference results of free-format (list-directed) reads, produced by the
! Fortran runtime. Reads case descriptions from the file named on the command
! line and writes, for each read, its outcome and the values it leaves.
! Usage: listread_oracle listread_cases.txt > listread.golden
!
! Case file:
!   @ <description>     starts a case
!   ><text>             one line of the input file (in the text '~' stands for
!                       a tab and '%' for a carriage return)
!   READ <kinds>        one read statement; kinds are letters in the order
!                       C (one character), I (integer), R (real), D (double),
!                       L (logical), e.g. "READ IIR"; "READ S" reads a text
!                       record, "READ" alone skips a line.
! Before each read every item is preset: C '?', I -7777, R -7777.0,
! D -7777.0, L .true. for odd and .false. for even positions in the list.
! Output per read: "READ <kinds>", then "= ok", "= eof" or "= err" and, when
! ok, one line per item: "C <hex code>", "I <n>", "R <hex bits>",
! "D <hex bits>", "L T|F", "S |text|". A case stops at its first failed read.
program listread_oracle
  implicit none
  integer, parameter :: maxl = 100, maxr = 50
  character(len=400) :: line, cases_file
  character(len=400) :: input(maxl), reads(maxr), title
  integer :: nin, nreads, ios
  logical :: open_case

  call get_command_argument(1, cases_file)
  open(10, file=trim(cases_file), status='old', action='read')
  open_case = .false.
  do
    read(10, '(A)', iostat=ios) line
    if (ios /= 0) exit
    if (len_trim(line) == 0 .or. line(1:1) == '#') cycle
    if (line(1:1) == '@') then
      if (open_case) call run_case()
      title = line
      nin = 0
      nreads = 0
      open_case = .true.
    else if (line(1:1) == '>') then
      nin = nin + 1
      input(nin) = line(2:)
    else if (line(1:4) == 'READ') then
      nreads = nreads + 1
      reads(nreads) = adjustl(line(5:))
    else
      stop 'unknown case line'
    end if
  end do
  if (open_case) call run_case()

contains

  subroutine run_case()
    integer :: u, k, p, n, ios2
    character(len=400) :: text, kinds
    print '(A)', trim(title)
    open(newunit=u, file='listread_input.tmp', status='replace', action='write')
    do k = 1, nin
      print '(A,A)', '>', trim(input(k))
      text = input(k)
      n = len_trim(text)
      do p = 1, n
        if (text(p:p) == '~') text(p:p) = achar(9)
        if (text(p:p) == '%') text(p:p) = achar(13)
      end do
      write(u, '(A)') text(1:n)
    end do
    close(u)
    open(newunit=u, file='listread_input.tmp', status='old', action='read')
    do k = 1, nreads
      kinds = reads(k)
      print '(A,A)', 'READ ', trim(kinds)
      call one_read(u, trim(kinds), ios2)
      if (ios2 /= 0) exit
    end do
    close(u, status='delete')
  end subroutine run_case

  subroutine one_read(u, kinds, ios)
    integer, intent(in) :: u
    character(len=*), intent(in) :: kinds
    integer, intent(out) :: ios
    character(len=1) :: cv(20)
    integer(4) :: iv(20)
    real(4) :: rv(20)
    real(8) :: dv(20)
    logical :: lv(20)
    character(len=80) :: sv
    integer :: nc, ni, nr, nd, nl, p
    integer(8) :: bits
    nc = count_in(kinds, 'C'); ni = count_in(kinds, 'I'); nr = count_in(kinds, 'R')
    nd = count_in(kinds, 'D'); nl = count_in(kinds, 'L')
    cv = '?'; iv = -7777; rv = -7777.0; dv = -7777.0d0
    do p = 1, 20
      lv(p) = mod(p, 2) == 1
    end do
    if (kinds == 'S') then
      sv = '?'
      read(u, '(A)', iostat=ios) sv
    else
      read(u, *, iostat=ios) (cv(p), p = 1, nc), (iv(p), p = 1, ni), (rv(p), p = 1, nr), &
                             (dv(p), p = 1, nd), (lv(p), p = 1, nl)
    end if
    if (ios < 0) then
      print '(A)', '= eof'
      return
    else if (ios > 0) then
      print '(A)', '= err'
      return
    end if
    print '(A)', '= ok'
    if (kinds == 'S') then
      print '(A,A,A)', 'S |', sv, '|'
      return
    end if
    do p = 1, nc
      print '(A,Z2.2)', 'C ', ichar(cv(p))
    end do
    do p = 1, ni
      print '(A,I0)', 'I ', iv(p)
    end do
    do p = 1, nr
      print '(A,Z8.8)', 'R ', transfer(rv(p), 1_4)
    end do
    do p = 1, nd
      bits = transfer(dv(p), 1_8)
      print '(A,Z16.16)', 'D ', bits
    end do
    do p = 1, nl
      print '(A,L1)', 'L ', lv(p)
    end do
  end subroutine one_read

  integer function count_in(kinds, c)
    character(len=*), intent(in) :: kinds
    character(len=1), intent(in) :: c
    integer :: q
    count_in = 0
    do q = 1, len(kinds)
      if (kinds(q:q) == c) count_in = count_in + 1
    end do
  end function count_in

end program listread_oracle
