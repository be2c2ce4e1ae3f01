# SPDX-License-Identifier: GPL-3.0-or-later
'''python3-dbusmock's logind whose Inhibit answers only after
ZENTRIX_TEST_INHIBIT_DELAY seconds (a slow logind, or, past the program's
limit, one that never answers in time), writing "asked" to the file
ZENTRIX_TEST_INHIBIT_LOG when a request comes and "answered" when it is
answered. The mock serves one request at a time, as a busy logind may.'''
import os
import time

import dbus
from dbusmock.templates import logind as _logind
from dbusmock.templates.logind import *  # noqa: F401,F403 -- the template's methods, properties and load()


def _note(word):
    with open(os.environ['ZENTRIX_TEST_INHIBIT_LOG'], 'a', encoding='ascii') as log:
        log.write(word + '\n')


@dbus.service.method(MAIN_IFACE, in_signature='ssss', out_signature='h')  # noqa: F405
def Inhibit(self, what, who, why, mode):
    _note('asked')
    time.sleep(float(os.environ.get('ZENTRIX_TEST_INHIBIT_DELAY', '4')))
    _note('answered')
    return _logind.Inhibit(self, what, who, why, mode)
