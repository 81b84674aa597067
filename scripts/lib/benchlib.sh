# Shared pieces of the benchmark scripts; sourced, not run.

now() { date +%s.%N; }
calc() { awk "BEGIN { print $* }"; }
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# `count` files of `kib` KiB of random bytes named small-N.bin in `folder`.
make_files() {
  /usr/bin/python3 -c '
import os, sys
folder, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
os.makedirs(folder)
for n in range(count):
    with open(os.path.join(folder, "small-%d.bin" % n), "wb") as f:
        f.write(os.urandom(size))' "$1" "$2" "$(($3 * 1024))"
}

# `n` TCP ports on 127.0.0.1 that are free now, one per line.
free_ports() {
  /usr/bin/python3 -c '
import socket, sys
held = []
for _ in range(int(sys.argv[1])):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    held.append(s)
print("\n".join(str(s.getsockname()[1]) for s in held))' "$1"
}

# A field of the demo site's ready line `$ready`; the demo account's
# passwords are fields too (ftp_user, ftp_password, password).
field() {
  /usr/bin/python3 -c '
import json, sys
info = json.loads(sys.argv[1])
demo = [a for a in info["accounts"] if a["name"] == "demo"][0]
info.update({"ftp_user": demo["ftp_user"], "ftp_password": demo["ftp_password"], "password": demo["password"]})
print(info[sys.argv[2]])' "$ready" "$1"
}

# A fresh demo site with its data in `$work/site`, started with the extra
# options given; sets site_pid and ready. stop_site ends it.
site_pid=
start_site() {
  stop_site
  rm -rf "$work/site" "$work/ready"
  /usr/bin/python3 demo/demo_site.py --data "$work/site" --ready-file "$work/ready" "$@" \
    >/dev/null 2>"$work/site-err" &
  site_pid=$!
  for _ in $(seq 1800); do
    [[ -s $work/ready ]] && break
    kill -0 "$site_pid" 2>/dev/null || break
    sleep 0.1
  done
  [[ -s $work/ready ]] || { echo "the demo site did not report ready:" >&2; cat "$work/site-err" >&2; exit 1; }
  ready=$(head -n 1 "$work/ready")
}
stop_site() {
  if [[ -n $site_pid ]]; then
    kill -TERM "$site_pid" 2>/dev/null || true
    wait "$site_pid" 2>/dev/null || true
    site_pid=
  fi
}

# The fault proxy in front of 127.0.0.1:`target` on port `port` with the
# options that follow; its pid is added to proxy_pids. stop_proxies ends
# them; it also ends with this shell.
proxy_pids=()
start_proxy() {
  local target=$1 port=$2
  shift 2
  "$build/tools/fault-proxy/quellix-fault-proxy" --target "127.0.0.1:$target" --port "$port" "$@" \
    >"$work/proxy-$port.log" 2>&1 </dev/null &
  proxy_pids+=($!)
  for _ in $(seq 100); do
    grep -q '^PORT ' "$work/proxy-$port.log" 2>/dev/null && return 0
    sleep 0.05
  done
  echo "the fault proxy did not start:" >&2
  cat "$work/proxy-$port.log" >&2
  exit 1
}
stop_proxies() {
  local pid
  for pid in "${proxy_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  proxy_pids=()
}
