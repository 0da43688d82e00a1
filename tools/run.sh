#!/usr/bin/env bash
# Builds the program and starts it in demo/ with the sample configuration
# (gateway started at once), behind which a simulated Modbus RTU device
# answers on a pseudo-terminal linked as demo/ports/COM1. Without a
# display the program runs windowless and prints its log. Ctrl+C (or
# closing the window) ends everything. BUILD_DIR names the build folder
# (default: build), QV_DEMO_PORT the TCP port (default: 1502).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

build_dir=${BUILD_DIR:-build}
tcp_port=${QV_DEMO_PORT:-1502}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_WITH_UI=ON >/dev/null
cmake --build "$build_dir" --target quorvelin rtu_device
program=$(cd "$build_dir" && pwd)/ui/quorvelin
device=$(cd "$build_dir" && pwd)/tools/rtu_device

demo=$PWD/demo
rm -rf "$demo"
mkdir -p "$demo/ports"
cp config/*.ini "$demo/"
# The sample with the gateway started at once, on a port a user may open,
# with COM1 as its one serial port.
sed -i -e 's/^RunServer=.*/RunServer=true/' \
       -e "s/^TCPPort=.*/TCPPort=$tcp_port/" \
       -e 's/^SerialPorts=.*/SerialPorts=COM1/' "$demo/Quorvelin.ini"
unit=$(awk -F= '/^\[COM1\]/{s=1} s && /^SlaveAddrList=/{print $2; exit}' \
       "$demo/Quorvelin.ini" | grep -o '^[0-9]*')

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

socat pty,raw,echo=0,link="$demo/ports/COM1" \
      pty,raw,echo=0,link="$demo/device-line" 2>"$demo/socat.log" &
pids+=($!)
for _ in $(seq 100); do
  [ -e "$demo/ports/COM1" ] && [ -e "$demo/device-line" ] && break
  sleep 0.05
done

"$device" --port "$demo/device-line" --unit "$unit" \
  >"$demo/device.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  grep -q ready "$demo/device.log" 2>/dev/null && break
  sleep 0.05
done

cat <<MSG
Quorvelin runs in $demo, listening on 127.0.0.1:$tcp_port.
A simulated device with unit id $unit answers on ports/COM1.
Read its first ten holding registers through the gateway:

    mbpoll -m tcp -a $unit -p $tcp_port -t 4 -r 1 -c 10 -1 127.0.0.1

MSG

cd "$demo"
"$program" &
program_pid=$!
# Ctrl+C or a SIGTERM to this script closes the program as its window does.
trap 'kill -TERM "$program_pid" 2>/dev/null || true' INT TERM
# A trapped signal ends the first wait early; the second sees the end.
wait "$program_pid" || wait "$program_pid" || true
