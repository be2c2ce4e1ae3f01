// SPDX-License-Identifier: GPL-3.0-or-later
// The program built without a window front end.
#include <cstdlib>
#include <iostream>

#include "app/desktop.h"
#include "app/translations.h"
#include "i18n/message.h"
#include "shell/screen/own_lines.h"

std::optional<int> RunOnDesktop(CUpdaterApp& /*app*/, int /*argc*/, char** /*argv*/,
                                const CUpdaterCommandLineInfo& /*commandLine*/, const UserCatalogue* texts)
{
    COwnLines(std::cerr, texts != nullptr ? &texts->catalogue : nullptr, StandardErrorColumns)
        .Say(Message(N_("this build has no window front end; using the console")), OwnLineKind::Plain);
    return std::nullopt;
}

std::optional<int> ShowHistoryOnDesktop(int /*argc*/, char** /*argv*/, const std::string& /*path*/,
                                        const UserCatalogue* /*texts*/)
{
    return std::nullopt;
}

const char* DesktopDisplay()
{
    return std::getenv("DISPLAY");
}
