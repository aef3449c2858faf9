#!/usr/bin/env bash
# pw-rig.sh: a private PipeWire sound server for tests, needing no systemd,
# D-Bus, sound card or display.
#
#   pw-rig.sh start DIR   Starts pipewire, wireplumber and pipewire-pulse with
#                         every runtime, config, state and log file under DIR,
#                         waits until they are ready (about 0.3 s), and prints
#                         on stdout what a client needs, one KEY=VALUE a line:
#                           PIPEWIRE_RUNTIME_DIR=DIR/run
#                           PULSE_SERVER=unix:DIR/run/pulse/native
#                           PULSE_COOKIE=DIR/cookie
#                         Exit status 0 when ready; otherwise non-zero with
#                         nothing left running (logs: DIR/*.log).
#   pw-rig.sh env DIR     Prints the same lines again.
#   pw-rig.sh stop DIR    Stops, by the PIDs kept in DIR, what start started;
#                         SIGTERM, then SIGKILL after 3 s. Nothing is left running.
#   pw-rig.sh kill DIR    SIGKILL to the daemons, as a crash (then stop, start).
#   pw-rig.sh status DIR  One line per process: "NAME PID" or "NAME down".
#
# With that environment, pactl/paplay/parecord, pw-play/pw-record and SDL
# (its default path through pipewire-pulse, or SDL_AUDIODRIVER=pipewire)
# reach this server only. Nodes:
#   test_out      "Test-Output" null sink, 48 kHz stereo, the default sink;
#                 record what was played from test_out.monitor.
#   test_mic      "Test-Mic" source, 48 kHz mono, the default source: what
#                 plays into test_mic_bus (a 440 Hz sine, peak 0.5, unless a
#                 test plays something else there).
#   test_mic_bus  "Test-Mic-Bus" null sink feeding test_mic.
# A server killed by a test is brought back with stop then start (same DIR,
# same socket paths). Packages: pipewire pipewire-pulse wireplumber
# pulseaudio-utils python3.
set -u

PROCS="pacat python3 pipewire-pulse wireplumber pipewire"  # stop order

usage() { echo "usage: $0 start|stop|kill|env|status DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
R=$(mkdir -p "$2" && cd "$2" && pwd) || exit 1

envs() {
  echo "PIPEWIRE_RUNTIME_DIR=$R/run"
  echo "PULSE_SERVER=unix:$R/run/pulse/native"
  echo "PULSE_COOKIE=$R/cookie"
}

# Running (not a zombie: PID 1 may reap late) and still the program we started.
alive() {
  local p; p=$(cat "$R/$1.pid" 2>/dev/null) || return 1
  [ "$(ps -o stat=,comm= -p "$p" 2>/dev/null | awk '{print ($1 ~ /^Z/) ? "Z" : $2}')" = "$1" ]
}

stop() {
  local d
  for d in $PROCS; do alive "$d" && kill -TERM "$(cat "$R/$d.pid")"; done
  for d in $PROCS; do
    for _ in $(seq 60); do alive "$d" || break; sleep 0.05; done
    alive "$d" && kill -KILL "$(cat "$R/$d.pid")"
    rm -f "$R/$d.pid"
  done
  return 0
}

write_config() {
  mkdir -p "$R/run" "$R/cfg/pipewire/pipewire.conf.d" "$R/cfg/pipewire/pipewire-pulse.conf.d" \
    "$R/cfg/wireplumber/main.lua.d" "$R/cfg/wireplumber/bluetooth.lua.d" "$R/state" || return 1
  chmod 700 "$R/run"
  # The two null sinks and the mic source. VMs get a 1024-frame minimum
  # quantum by default; tests need the small one a desktop gets.
  cat > "$R/cfg/pipewire/pipewire.conf.d/50-rig.conf" <<'CONF'
context.properties = { support.dbus = false  default.clock.rate = 48000  default.clock.allowed-rates = [ 48000 ]
                       vm.overrides = { default.clock.min-quantum = 16 } }
context.objects = [
  { factory = adapter args = { factory.name = support.null-audio-sink node.name = test_out node.description = Test-Output
      media.class = Audio/Sink audio.rate = 48000 audio.channels = 2 audio.position = "FL,FR" priority.session = 2000 } }
  { factory = adapter args = { factory.name = support.null-audio-sink node.name = test_mic_bus node.description = Test-Mic-Bus
      media.class = Audio/Sink audio.rate = 48000 audio.channels = 1 audio.position = MONO priority.session = 100 } }
]
context.modules = [
  { name = libpipewire-module-loopback args = { node.description = Test-Mic audio.position = [ MONO ]
      capture.props = { node.name = test_mic_in target.object = test_mic_bus stream.capture.sink = true }
      playback.props = { node.name = test_mic media.class = Audio/Source priority.session = 2000 } } }
]
CONF
  printf '%s\n' 'context.properties = { support.dbus = false }' \
    'pulse.properties = { vm.overrides = { pulse.min.quantum = 256/48000 } }' \
    > "$R/cfg/pipewire/pipewire-pulse.conf.d/50-rig.conf"
  printf '%s\n' 'alsa_monitor.enabled = false' 'v4l2_monitor.enabled = false' 'libcamera_monitor.enabled = false' \
    'default_access.properties["enable-flatpak-portal"] = false' > "$R/cfg/wireplumber/main.lua.d/51-rig.lua"
  echo 'bluez_monitor.enabled = false' > "$R/cfg/wireplumber/bluetooth.lua.d/51-rig.lua"
}

start() {
  local d
  for d in $PROCS; do alive "$d" && { echo "pw-rig: $d already running in $R" >&2; return 1; }; done
  rm -rf "$R/run" "$R/cfg" "$R/state" "$R/sine.fifo" "$R"/*.log
  write_config || return 1
  local t0=$EPOCHREALTIME
  for d in pipewire wireplumber pipewire-pulse; do
    # No D-Bus and no X11 for them (libdbus would start a bus through X11).
    env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY -u WAYLAND_DISPLAY -u PIPEWIRE_REMOTE -u PIPEWIRE_RUNTIME_DIR \
      XDG_RUNTIME_DIR="$R/run" XDG_CONFIG_HOME="$R/cfg" XDG_STATE_HOME="$R/state" "$d" </dev/null >"$R/$d.log" 2>&1 &
    echo $! > "$R/$d.pid"
    if [ "$d" = pipewire ]; then
      for _ in $(seq 100); do [ -S "$R/run/pipewire-0" ] && break; sleep 0.02; done
    fi
  done
  export PIPEWIRE_RUNTIME_DIR="$R/run" PULSE_SERVER="unix:$R/run/pulse/native" PULSE_COOKIE="$R/cookie"
  # Ready when pulse answers and wireplumber has set both defaults.
  for _ in $(seq 100); do
    pactl info 2>/dev/null | grep -q 'Default Source: test_mic$' &&
      pactl info 2>/dev/null | grep -q 'Default Sink: test_out$' && break
    sleep 0.05
  done
  # The mic's sine: 11 periods of 440 Hz in 1200 frames, repeated, paced by pacat.
  mkfifo "$R/sine.fifo"
  # Python opens the FIFO itself, so its PID is python3's from the start.
  python3 -c $'import math,struct,sys\nb=struct.pack("<1200f",*[0.5*math.sin(2*math.pi*11*i/1200) for i in range(1200)])\nf=open(sys.argv[1],"wb")\nwhile True: f.write(b)' \
    "$R/sine.fifo" >/dev/null 2>&1 </dev/null &
  echo $! > "$R/python3.pid"
  pacat --raw --device=test_mic_bus --format=float32le --rate=48000 --channels=1 --latency-msec=20 \
    --client-name=pw-rig-sine <"$R/sine.fifo" >"$R/pacat.log" 2>&1 &
  echo $! > "$R/pacat.pid"
  for _ in $(seq 100); do pactl list short sinks 2>/dev/null | grep -q 'test_mic_bus.*RUNNING' && break; sleep 0.05; done
  for d in $PROCS; do alive "$d" || { echo "pw-rig: $d died, see $R/*.log" >&2; stop; return 1; }; done
  if ! pactl info | grep -q 'Default Source: test_mic$' || ! pactl list short sinks | grep -q 'test_mic_bus.*RUNNING'; then
    echo "pw-rig: not ready after 5 s, see $R/*.log" >&2; stop; return 1
  fi
  grep -s '^\[E\]' "$R"/*.log >&2 && echo "pw-rig: errors logged above (running anyway)" >&2
  echo "pw-rig: ready in $(awk "BEGIN{printf \"%.2f\", $EPOCHREALTIME - $t0}") s ($R)" >&2
  envs
}

case "$1" in
  start) start ;;
  stop) stop ;;
  kill) for d in pipewire pipewire-pulse wireplumber; do alive "$d" && kill -KILL "$(cat "$R/$d.pid")"; done; true ;;
  env) envs ;;
  status) for d in $PROCS; do if alive "$d"; then echo "$d $(cat "$R/$d.pid")"; else echo "$d down"; fi; done ;;
  *) usage ;;
esac
