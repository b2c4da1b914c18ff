#!/usr/bin/env bash
# Installs the Debian packages YOSTA needs to build, test and plot, when missing.
set -euo pipefail
packages=(g++ cmake make pkg-config giza-dev libgtest-dev libbenchmark-dev libcli11-dev
          libpng-dev xvfb xauth x11-apps valgrind gfortran libxrl-dev clang libclang-rt-dev clang-format
          slurm-wlm munge  # slurm-wlm, munge: the throwaway cluster of the ensemble test
          # The Python package, its tests, notebook and manual pages.
          pybind11-dev python3-pybind11 python3-numpy python3-matplotlib python3-pytest
          python3-nbclient python3-ipykernel python3-venv python3-setuptools python3-pip help2man)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
