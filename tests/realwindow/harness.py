"""Runs a real-window test module: a fresh private desktop for the module's tests, a report of each
failure as it happens, and a desktop that is stopped whatever happens.

The desktop and its processes are in `desktop.py`; the program as a screen reader reads it, in
`screen_reader.py`.
"""

import os
import signal
import sys
import unittest

from desktop import Desktop, HarnessError
from screen_reader import App

class _Interrupted(KeyboardInterrupt):
    """Raised by a signal or by the overall deadline. A KeyboardInterrupt, because unittest lets only
    that one through instead of recording it against a test, so the desktop is stopped on the way out."""


class _ReportAtOnce(unittest.TextTestResult):
    """Prints each failure when it happens, so that a run cut short still says what went wrong."""

    def _report(self, test, err):
        self.stream.writeln(f"\n--- {test}\n{self._exc_info_to_string(err, test)}")
        self.stream.flush()

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self._report(test, err)

    def addError(self, test, err):
        super().addError(test, err)
        self._report(test, err)

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            self._report(subtest, err)

    def printErrors(self):
        self.stream.writeln()  # already printed as they happened


DESKTOP = None


def main(budget_seconds=100):
    """Runs the calling test module's tests on a fresh desktop and always stops that desktop."""
    global DESKTOP

    def interrupt(signum, _frame):
        raise _Interrupted(f"signal {signum}" if signum != signal.SIGALRM
                           else f"the whole run took over {budget_seconds} s")

    for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGALRM):
        signal.signal(sig, interrupt)
    signal.alarm(budget_seconds)
    DESKTOP = Desktop()
    status = 1
    try:
        DESKTOP.start()
        program = os.environ.get("ZENTRIQ_PROGRAM")
        if not program or not os.access(program, os.X_OK):
            raise HarnessError(f"ZENTRIQ_PROGRAM={program!r} is not an executable")
        runner = unittest.TextTestRunner(verbosity=2, resultclass=_ReportAtOnce, stream=sys.stdout)
        result = unittest.main(module="__main__", exit=False, testRunner=runner).result
        status = 0 if result.wasSuccessful() else 1
    except HarnessError as error:
        print(f"realwindow: {error}", file=sys.stderr)
    except _Interrupted as reason:
        print(f"realwindow: interrupted by {reason}", file=sys.stderr)
    finally:
        signal.alarm(0)
        DESKTOP.stop()
    sys.exit(status)


class AppTestCase(unittest.TestCase):
    """A test that starts its own zentriq, which ends with the test whatever happens."""

    extra_env = {}

    def launch(self, **extra_env):
        app = App(DESKTOP, os.environ["ZENTRIQ_PROGRAM"], {**self.extra_env, **extra_env})
        self.addCleanup(app.stop)
        return app.start()
