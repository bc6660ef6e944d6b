# The demonstration: the program binds the simulator, which presents one
# programmer with a chip of the default catalogue in its socket.
start_demo() {
    local build=$1
    local state="${XDG_STATE_HOME:-$HOME/.local/state}/ostrel-demo"
    mkdir -p "$state"
    if [ ! -f "$state/sim.conf" ]; then
        cat > "$state/sim.conf" <<CONF
# One programmer on bus 1 with its boot loader, which keeps the firmware of
# the last upgrade in firmware.bin; the chip in the socket keeps its content
# in chip.img.
programmer bus=1 bootloader=2 firmware_image="$state/firmware.bin"
chip id=0xEF4017 size=0x800000 class=0 image="$state/chip.img"
CONF
    fi
    echo "Simulator configuration: $state/sim.conf"
    OSTREL_SIM_CONFIG="$state/sim.conf" LD_LIBRARY_PATH="$build/sim${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
        exec "$build/bin/ostrel"
}
