#!/bin/sh
# mdev's helper for ttyUSB ports: the /dev/serial/by-id link a udev system makes,
# usb-MANUFACTURER_PRODUCT_SERIAL-ifNN-portN, made on add and removed on remove.
dir=/dev/serial/by-id
case "$ACTION" in
add)
  port=$(readlink -f "/sys/class/tty/$MDEV/device")
  iface=${port%/*}
  usb=${iface%/*}
  id=$(echo "$(cat "$usb/manufacturer")_$(cat "$usb/product")_$(cat "$usb/serial")" | tr ' ' '_')
  mkdir -p "$dir"
  ln -sf "../../$MDEV" "$dir/usb-$id-if$(cat "$iface/bInterfaceNumber")-port$(cat "$port/port_number")"
  ;;
remove)
  for link in "$dir"/*; do
    [ "$(readlink "$link")" = "../../$MDEV" ] && rm -f "$link"
  done
  ;;
esac
