// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's texts as the windows show them: rendered in the user's
// language (`texts`, null: English).
#include <QString>

#include "i18n/message.h"

inline QString Tr(const MoCatalogue* texts, const Message& message)
{
    return QString::fromStdString(message.Render(texts));
}

// `english`: a pattern marked with N_.
inline QString Tr(const MoCatalogue* texts, const char* english)
{
    return Tr(texts, Message(english));
}
