"""The first process of a test's own PID namespace (unshare --pid --fork --mount-proc): runs the
command given, reaps every orphan the namespace hands it, as init does, and ends with the
command's status; the kernel then ends whatever else is left in the namespace."""
import os
import sys

command = os.fork()
if command == 0:
    os.execvp(sys.argv[1], sys.argv[1:])
while True:
    pid, status = os.wait()
    if pid == command:
        code = os.waitstatus_to_exitcode(status)
        sys.exit(code if code >= 0 else 128 - code)
