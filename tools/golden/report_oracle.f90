! Renders the run report of hand-built test cases with gfortran's own formatted
! output, from the same layout templates the program uses, so the report tests
! compare our layout writer against an independent implementation.
!
! Usage: report_oracle CASES OUTDIR
! Reads the case file CASES (tests/output/golden/report_cases.txt) and writes
! OUTDIR/report_<name>.txt for every case. All reals are real(4), as in the
! program. The free-format Gaussian-move block is not gfortran's to render: in
! its place the oracle writes the single marker line "<gaussian moves>", which
! make_report_golden.sh replaces by the block checked by hand (gaussian_block.txt).
!
! Case layout (list-directed, each record on its own line, text after the
! values of a record is ignored):
!   name                                   (a text line; END ends the file)
!   nbasis nsets
!   nzero, then nzero records: partial r_from r_to
!   nsets records: nbasis coefficients at Q_1
!   density
!   nq dq                                  (Q_k = k * dq)
!   nsets records: q_first q_last sigma renormalise rezero linear quadratic u v w target
!   nr dr max_change improved_only
!   npos, then npos records: partial r_from r_to
!   ncoord, then ncoord records: partial coordination r_from r_to weighting N_c
!   resolution_on save_targets nsave
!   smoothing_on smoothing_type weight exponent cutoff
!   nranges, then nranges records: rch sigma ngauss
program report_oracle
  implicit none
  integer, parameter :: mb = 6, ms = 4, mc = 5, mg = 10
  character(len=256) :: cases_path, out_dir
  character(len=80) :: name
  character(len=20) :: version
  integer :: cin, cout, ios, s, p, i
  integer :: nbasis, nsets, nzero, npos, ncoord, nq, nr, nsave, smoothing_type, nranges
  integer :: zpart(mc), ppart(mc), cpart(mc), qfirst(ms), qlast(ms), ngauss(mg)
  real(4) :: zfrom(mc), zto(mc), pfrom(mc), pto(mc)
  real(4) :: ccoord(mc), cfrom(mc), cto(mc), cweight(mc), cnc(mc)
  real(4) :: coef(mb, ms), sigma(ms), u(ms), v(ms), w(ms), target(ms)
  real(4) :: density, dq, dr, max_change, smooth_weight, smooth_exponent, smooth_cutoff
  real(4) :: rch(mg), gsigma(mg), qf, ql, rlast
  logical :: renorm(ms), rezero(ms), linear(ms), quadratic(ms)
  logical :: improved_only, resolution_on, save_targets, smoothing_on

  call get_command_argument(1, cases_path)
  call get_command_argument(2, out_dir)
  version = '3.0 Windows'

  open (newunit=cin, file=trim(cases_path), status='old', action='read')
  do
    read (cin, '(A)', iostat=ios) name
    if (ios /= 0) exit
    if (trim(name) == 'END') exit

    read (cin, *) nbasis, nsets
    read (cin, *) nzero
    do i = 1, nzero
      read (cin, *) zpart(i), zfrom(i), zto(i)
    end do
    do s = 1, nsets
      read (cin, *) (coef(p, s), p = 1, nbasis)
    end do
    read (cin, *) density
    read (cin, *) nq, dq
    do s = 1, nsets
      read (cin, *) qfirst(s), qlast(s), sigma(s), renorm(s), rezero(s), linear(s), &
        quadratic(s), u(s), v(s), w(s), target(s)
    end do
    read (cin, *) nr, dr, max_change, improved_only
    read (cin, *) npos
    do i = 1, npos
      read (cin, *) ppart(i), pfrom(i), pto(i)
    end do
    read (cin, *) ncoord
    do i = 1, ncoord
      read (cin, *) cpart(i), ccoord(i), cfrom(i), cto(i), cweight(i), cnc(i)
    end do
    read (cin, *) resolution_on, save_targets, nsave
    read (cin, *) smoothing_on, smoothing_type, smooth_weight, smooth_exponent, smooth_cutoff
    read (cin, *) nranges
    do i = 1, nranges
      read (cin, *) rch(i), gsigma(i), ngauss(i)
    end do

    open (newunit=cout, file=trim(out_dir)//'/report_'//trim(name)//'.txt', status='replace', &
      action='write')

    write (cout, "(/,' YOSTA version ',A,/,' ====',/,/,1X,I2,' basis functions fitting to',/,1X,I2,' total F(Q)''s',/,/,' Cut offs in basis functions are at:')") &
      version, nbasis, nsets
    write (cout, "(/,/,' There are ',I2,' zero constraints ')") nzero
    do i = 1, nzero
      write (cout, "('Partial ',I2,' is zero between ',F6.2,' and ',F6.2)") zpart(i), zfrom(i), zto(i)
    end do
    write (cout, "(/,/,' Coefficients of basis functions at minimum Q are:')")
    do s = 1, nsets
      write (cout, "('     Total ',I2,2X,100(5X,F7.4))") s, (coef(p, s), p = 1, nbasis)
    end do
    write (cout, "(/,/,' Number density is ',F6.4,' atoms per cubic Angstrom',/,/)") density
    do s = 1, nsets
      qf = real(qfirst(s), 4) * dq
      ql = real(qlast(s), 4) * dq
      write (cout, "(/,' Experimental data set ',I2,' is given at ',I4,' Q points from ',F5.2,' to ',F5.2,/,' Standard deviation           is ',F7.5)") &
        s, qlast(s) - qfirst(s) + 1, qf, ql, sigma(s)
      if (resolution_on) then
        write (cout, "(' Resolution parameters (u,v,w) are ',3(F6.2,2X))") u(s), v(s), w(s)
      else
        write (cout, "(' Not convoluting with experimental resolution function')")
      end if
      if (renorm(s)) write (cout, "(' Renormalising experimental data')")
      if (rezero(s)) write (cout, "(' Rezeroing experimental data')")
      if (linear(s)) write (cout, "(' Linear correction to the expt. data')")
      if (quadratic(s)) write (cout, "(' Quadratic correction to the expt. data')")
    end do
    rlast = real(nr, 4) * dr
    write (cout, "(/,' Using ',I5,' r points spaced at ',F5.3,'A up to ',F8.3,'A',/,' Maximum change in rg(r) is ',F6.4,/)") &
      nr, dr, rlast, max_change
    if (improved_only) write (cout, "(' Only allowing improved data sets',/)")
    write (cout, "(/,' There are ',I2,' positivity constraints ')") npos
    do i = 1, npos
      write (cout, "('Partial ',I2,' is positive between ',F8.2,' and ',F8.2)") ppart(i), pfrom(i), pto(i)
    end do
    write (cout, "(/,' There are ',I2,' coordination constraints ')") ncoord
    do i = 1, ncoord
      write (cout, "(' Partial ',I2,' is constrained to have a coordination of ',1X,F6.2,' between ',F6.2,' and ',F6.2,' A with weighting ',F9.5)") &
        cpart(i), ccoord(i), cfrom(i), cto(i), cweight(i)
      write (cout, "(' Starting coordination is ',F6.2)") cnc(i)
    end do
    if (save_targets) then
      write (cout, "(' Saving ',I5,' g(r)s with target chi**2 ',10F5.1,/)") nsave, (target(s), s = 1, nsets)
    end if
    if (smoothing_on .and. (smoothing_type == 1 .or. smoothing_type == 2)) then
      write (cout, "(/,' Smoothing weight ',F10.2,', exponent ',F6.2,'A and cut-off ',F6.2,/)") &
        smooth_weight, smooth_exponent, smooth_cutoff
    end if
    if (smoothing_on .and. smoothing_type == 3) write (cout, '(A)') '<gaussian moves>'
    write (cout, "(/,'  beta         a0        a1        a2     Chi-squared')")
    close (cout)
  end do
  close (cin)
end program report_oracle
