"""Set up in the embedded cluster's worker processes: Ctrl-C reaches the
whole process group, and it is the client's to handle (it stops the
cluster, which ends the workers); a worker that died of it first would only
print a traceback and be restarted."""
import signal
import threading


class LeaveInterruptsToClient:
    """A Dask worker plugin (the scheduler hands it to restarted workers too)."""

    name = "gensignal-batch-leave-interrupts-to-client"

    def setup(self, worker):
        if threading.current_thread() is threading.main_thread():
            signal.signal(signal.SIGINT, signal.SIG_IGN)
