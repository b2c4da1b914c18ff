#!/usr/bin/env bash
# A throwaway one-node Slurm cluster for tests, in a scratch folder.
#   slurm_cluster.sh start DIR   writes DIR/slurm.conf, starts munged (unless one
#                                runs), slurmctld and slurmd; waits until the node
#                                is idle. Use it with SLURM_CONF=DIR/slurm.conf.
#   slurm_cluster.sh stop DIR    stops what start started.
# Exit status of start: 0 ready; 2 the cluster cannot run here (the reason is
# printed, and whatever was started is stopped again); 1 bad use.
set -uo pipefail
what=${1:-}
dir=${2:-}
[ -n "$what" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 1; }
mkdir -p "$dir" && dir=$(cd "$dir" && pwd)
export SLURM_CONF="$dir/slurm.conf"

stop_pid() {  # the daemon whose pid file is $1, by its pid
  local file=$1 pid
  [ -s "$file" ] || return 0
  pid=$(cat "$file")
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
  kill "$pid" 2>/dev/null
  sleep 0.5
  kill -9 "$pid" 2>/dev/null || true
}

stop() {
  if [ -f "$dir/slurm.conf" ]; then
    timeout 10 scontrol shutdown >/dev/null 2>&1 || true
    stop_pid "$dir/slurmd.pid"
    stop_pid "$dir/slurmctld.pid"
  fi
  if [ -s "$dir/munged_started.pid" ]; then
    kill "$(cat "$dir/munged_started.pid")" 2>/dev/null || true
    rm -f "$dir/munged_started.pid"
  fi
}

cannot() {
  echo "Slurm cluster cannot start: $*" >&2
  for log in "$dir/log/slurmctld.log" "$dir/log/slurmd.log"; do
    [ -f "$log" ] && { echo "--- $log" >&2; tail -5 "$log" >&2; }
  done
  stop
  exit 2
}

if [ "$what" = stop ]; then
  stop
  exit 0
fi
[ "$what" = start ] || { echo "usage: $0 start|stop DIR" >&2; exit 1; }

for p in slurmctld slurmd sbatch scontrol sinfo munge unmunge; do
  command -v "$p" >/dev/null || cannot "$p is not installed (Debian packages slurm-wlm and munge)"
done
[ "$(id -u)" -eq 0 ] || cannot "the daemons of this set-up must run as root"

# Authentication: reuse a working munged, else start one and remember its pid.
if ! munge -n 2>/dev/null | unmunge >/dev/null 2>&1; then
  mkdir -p /run/munge && chown munge:munge /run/munge
  [ -f /etc/munge/munge.key ] || cannot "/etc/munge/munge.key is missing"
  runuser -u munge -- /usr/sbin/munged --force >/dev/null 2>&1 || cannot "munged does not start"
  for _ in $(seq 30); do [ -s /run/munge/munged.pid ] && break; sleep 0.1; done
  cp /run/munge/munged.pid "$dir/munged_started.pid" 2>/dev/null
  munge -n | unmunge >/dev/null 2>&1 || cannot "munge does not authenticate"
fi

host=$(hostname -s)
# Ports away from the defaults, and apart for clusters started at the same time.
port=$((20000 + ($$ % 2000) * 2))
mkdir -p "$dir/state" "$dir/spool" "$dir/log"
cat > "$SLURM_CONF" <<CONF
ClusterName=local
SlurmctldHost=$host
AuthType=auth/munge
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$port
SlurmdPort=$((port + 1))
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MpiDefault=none
NodeName=$host CPUs=$(nproc) RealMemory=2000 State=UNKNOWN
PartitionName=debug Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -f "$SLURM_CONF" >/dev/null 2>&1 || cannot "slurmctld does not start"
slurmd -f "$SLURM_CONF" >/dev/null 2>&1 || cannot "slurmd does not start"
for _ in $(seq 100); do
  if sinfo -h -o "%t" 2>/dev/null | grep -q idle; then
    echo "Slurm cluster ready: SLURM_CONF=$SLURM_CONF"
    exit 0
  fi
  sleep 0.2
done
cannot "the node did not become idle within 20 s"
