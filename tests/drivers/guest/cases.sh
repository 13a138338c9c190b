# The guest's half of each real-driver case (sourced by /init). Each prints "key value"
# lines on the results port; "ready" means veltra-send has opened and set up its port and
# waits for the device, so the host may start the emulator. Lines from the host arrive on
# file descriptor 3. Every wait is bounded, so a case that goes wrong still ends.
IMAGE=/disk.mgt
USB=/dev/ttyUSB0
LATENCY=/sys/bus/usb-serial/devices/ttyUSB0/latency_timer

# Waits up to 30 s for a path to appear (or, with "gone", to go).
await() {
  n=0
  while if [ "$2" = gone ]; then [ -e "$1" ]; else [ ! -e "$1" ]; fi; do
    n=$((n + 1))
    if [ $n -gt 3000 ]; then
      echo "timeout waiting for $1 $2"
      return 1
    fi
    usleep 10000
  done
}

# The adapter's stable name, once the hotplug helper has made it.
by_id() {
  n=0
  until [ -n "$(ls /dev/serial/by-id/ 2>/dev/null)" ]; do
    n=$((n + 1))
    [ $n -gt 3000 ] && return 1
    usleep 10000
  done
  echo "/dev/serial/by-id/$(ls /dev/serial/by-id/ | head -1)"
}

# veltra-send on port $1, in the background ($SEND); returns once it has printed its first
# line, which it does after the port is open and set to 115200 8N2.
send_start() {
  : >/tmp/out
  : >/tmp/err
  veltra-send --port "$1" "$IMAGE" >/tmp/out 2>/tmp/err &
  SEND=$!
  n=0
  until grep -q 'Esc or Ctrl-C stops' /tmp/out; do
    n=$((n + 1))
    if [ ! -d "/proc/$SEND" ] || [ $n -gt 6000 ]; then
      break
    fi
    usleep 5000
  done
}

# Waits for veltra-send and reports what it printed, from the kernel's log (microsecond
# stamps) the disconnects and the moment the wait returned, and last its exit status.
send_wait() {
  wait "$SEND"
  status=$?
  echo "veltra-test: veltra-send exited with $status" >/dev/kmsg
  sed 's/^/out /' /tmp/out
  sed 's/^/err /' /tmp/err
  dmesg | grep -E 'USB disconnect|now disconnected from|veltra-test:' | sed 's/^/kmsg /'
  dmesg -c >/dev/null
  echo "exit $status"
}

# The processor ticks (user and system, 100 a second) process $1 has used.
ticks() {
  awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# The USB adapter: the whole disk; the latency timer before, during and after.
case_usb_whole() {
  await $USB || return 1
  echo "latency-before $(cat $LATENCY)"
  send_start $USB
  echo "latency-during $(cat $LATENCY)"
  echo "ready $USB"
  send_wait
  echo "latency-after $(cat $LATENCY)"
}

# The 16550 on ttyS1: the whole disk; the port's flags (low latency is 0x2000) around it.
case_uart_whole() {
  flags=/sys/class/tty/ttyS1/flags
  echo "flags-before $(cat $flags)"
  send_start /dev/ttyS1
  echo "flags-during $(cat $flags)"
  echo "ready /dev/ttyS1"
  send_wait
  echo "flags-after $(cat $flags)"
}

# COM1 is ttyS0, the guest's console UART.
case_console() {
  sed 's/^/consoles /' /proc/consoles
  veltra-send --port COM1 "$IMAGE" >/tmp/out 2>/tmp/err
  status=$?
  sed 's/^/out /' /tmp/out
  sed 's/^/err /' /tmp/err
  echo "exit $status"
}

# The adapter unplugged by the host mid-transfer; then plugged in again and a whole disk
# on the same stable name.
case_unplug() {
  link=$(by_id) || return 1
  echo "by-id $link"
  send_start "$link"
  echo "ready $link"
  send_wait
  await "$link" gone || return 1
  await "$link" || return 1
  send_start "$link"
  echo "ready $link"
  send_wait
}

# The adapter unplugged while veltra-send waits for the first command; before that, what
# it used of the processor in one second of waiting.
case_unplug_idle() {
  link=$(by_id) || return 1
  send_start "$link"
  t0=$(ticks "$SEND")
  sleep 1
  echo "idle-ticks $(($(ticks "$SEND") - t0))"
  echo "ready $link"
  send_wait
}

# SIGTERM mid-transfer, when the host says so; the line settings before and after.
case_sigterm() {
  await $USB || return 1
  echo "stty-before $(stty -g -F $USB)"
  send_start $USB
  echo "ready $USB"
  read -r command <&3
  echo "command $command"
  kill -TERM "$SEND"
  send_wait
  echo "stty-after $(stty -g -F $USB)"
}

# The port listing.
case_list_ports() {
  by_id >/dev/null || return 1
  veltra-send --list-ports >/tmp/out
  status=$?
  sed 's/^/port /' /tmp/out
  echo "exit $status"
}

# A device that stops reading mid-disk: veltra-send on port $1, its summary and status; the
# guest's uptime and the 8250's own transmit count (from /proc/tty/driver/serial) each second
# while it runs. The guest stays up until the host has read what reached its end of the line.
stall() {
  send_start "$1"
  echo "ready $1"
  while [ -d "/proc/$SEND" ]; do
    echo "tick $(cut -d' ' -f1 /proc/uptime) $(sed -n 's/^1:.* tx:\([0-9]*\).*/\1/p' /proc/tty/driver/serial)"
    sleep 1
  done
  send_wait
  read -r -t 60 command <&3
  echo "command $command"
}
case_usb_stall() {
  await $USB || return 1
  stall $USB
}
case_uart_stall() {
  stall /dev/ttyS1
}
