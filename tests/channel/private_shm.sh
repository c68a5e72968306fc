#!/bin/sh
# Runs a test program with a /dev/shm of its own: POSIX shared memory and named semaphores live
# there, so the progress block and its event that the program creates and removes are not those
# of a monitor or another test run on the same machine. Needs a mount namespace (root, or user
# namespaces); where none can be made, the program runs as it is, and says so.
#
#   private_shm.sh PROGRAM [ARGUMENT...]
if unshare --mount --propagation private -- true 2>/dev/null; then
    exec unshare --mount --propagation private -- \
        sh -c 'mount -t tmpfs -o size=16m,mode=1777 tmpfs /dev/shm && exec "$@"' sh "$@"
fi
if unshare --mount --map-root-user -- true 2>/dev/null; then
    exec unshare --mount --map-root-user -- \
        sh -c 'mount -t tmpfs -o size=16m,mode=1777 tmpfs /dev/shm && exec "$@"' sh "$@"
fi
echo "private_shm.sh: no mount namespace here: the program uses the machine's /dev/shm" >&2
exec "$@"
