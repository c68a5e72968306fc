#!/bin/sh
# Runs a program in a mount and a network namespace of its own where the machine allows it:
# /dev/shm is then its own, so the progress block that noxmonitor creates and removes is not that
# of a monitor or a test run elsewhere on the machine, and the network holds only the loopback
# interface, so the view server's default port is free whatever else runs. Where no namespace can
# be made, the program runs with the machine's /dev/shm and network, and says so.
#
#   isolated.sh PROGRAM [ARGUMENT...]
inner='mount -t tmpfs -o size=64m,mode=1777 tmpfs /dev/shm && ip link set lo up && exec "$@"'
for flags in "--mount --net --propagation private" "--mount --net --map-root-user"; do
    # shellcheck disable=SC2086
    if unshare $flags -- sh -c "$inner" sh true 2>/dev/null; then
        exec unshare $flags -- sh -c "$inner" sh "$@"
    fi
done
echo "isolated.sh: no namespaces here: the program uses the machine's /dev/shm and network" >&2
exec "$@"
