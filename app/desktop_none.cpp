// SPDX-License-Identifier: GPL-3.0-or-later
// The program built without a window front end.
#include <cstdlib>
#include <iostream>

#include "app/desktop.h"
#include "app/translations.h"
#include "i18n/message.h"

std::optional<int> RunOnDesktop(CUpdaterApp& /*app*/, int /*argc*/, char** /*argv*/,
                                const CUpdaterCommandLineInfo& /*commandLine*/, const UserCatalogue* texts)
{
    std::cerr << "zentrix-update: "
              << Message(N_("this build has no window front end; using the console"))
                     .Render(texts != nullptr ? &texts->catalogue : nullptr)
              << "\n";
    return std::nullopt;
}

const char* DesktopDisplay()
{
    return std::getenv("DISPLAY");
}
