// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/session/classroom_view.h"

#include <utility>

ClassroomRequest TakeRequest(bool closed, bool interrupted, bool& stopRowAsked, bool& nextAsked)
{
    if (!closed && !interrupted && std::exchange(stopRowAsked, false)) {
        return ClassroomRequest::StopRow;
    }
    if (!closed && !interrupted && std::exchange(nextAsked, false)) {
        return ClassroomRequest::Next;
    }
    if (interrupted) {
        return ClassroomRequest::Stop;
    }
    return closed ? ClassroomRequest::Close : ClassroomRequest::None;
}

ControlWords WindowControlWords()
{
    return {N_("Close ends the station"), N_("Close the window to end."),
            N_("Press a row's Next button to update the next calculator on its port")};
}

ControlWords ConsoleControlWords()
{
    return {N_("Ctrl+C ends the station"), N_("Press Ctrl+C to end."),
            N_("Press Enter to update the next calculator on a port whose row has ended")};
}

ControlWords ServiceControlWords()
{
    return {N_("systemctl stop ends the station"), N_("systemctl stop ends it."),
            N_("Press Enter to update the next calculator on a port whose row has ended")};
}
