// SPDX-License-Identifier: GPL-3.0-or-later
// 20,000 long configuration warnings, made as the program makes them (each
// file's lines read by ParseConfigText, ten warnings and the count of the
// rest per file), then rendered as standard error shows them: in English
// (the yardstick) and through the German catalogue, side by side in one
// run. The keys and the file names are full of ":1: ", the text that
// follows a pattern's %s: rendering must not depend on what the arguments
// hold. Printed: the time of each and German's ratio to English.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "i18n/catalogue.h"
#include "i18n/message.h"
#include "shell/startup/device_config.h"

namespace {

constexpr size_t kWarnings = 20000;
constexpr int kRounds = 5;

std::vector<Message> MakeWarnings()
{
    std::string hostile;
    while (hostile.size() < 180) {
        hostile += ":1: ";
    }
    std::string text;
    for (int line = 0; line < 12; ++line) {
        text += hostile + std::to_string(line) + " = x\n";
    }
    std::vector<Message> warnings;
    for (int file = 0; warnings.size() < kWarnings; ++file) {
        const ConfigFile read = ParseConfigText(text, "/srv/" + hostile + std::to_string(file) + ".conf");
        warnings.insert(warnings.end(), read.warnings.begin(), read.warnings.end());
    }
    warnings.resize(kWarnings);
    return warnings;
}

// The best of a few rounds, in milliseconds; `bytes` the rendered size.
double RenderMs(const std::vector<Message>& warnings, const MoCatalogue* texts, size_t& bytes)
{
    double best = 1e30;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        bytes = 0;
        for (const Message& warning : warnings) {
            bytes += warning.Render(texts).size();
        }
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main()
{
    const std::optional<MoCatalogue> german =
        MoCatalogue::Load(ZENTRIX_LOCALE_DIR "/de/LC_MESSAGES/zentrix-update.mo");
    if (!german) {
        std::fprintf(stderr, "bench_messages: the German catalogue is missing under %s\n", ZENTRIX_LOCALE_DIR);
        return 1;
    }
    const std::vector<Message> warnings = MakeWarnings();
    size_t englishBytes = 0;
    size_t germanBytes = 0;
    const double english = RenderMs(warnings, nullptr, englishBytes);
    const double inGerman = RenderMs(warnings, &*german, germanBytes);
    std::printf("config warnings: %zu, %zu bytes in English, %zu in German\n", warnings.size(), englishBytes,
                germanBytes);
    std::printf("render English: %.1f ms\n", english);
    std::printf("render German: %.1f ms\n", inGerman);
    std::printf("German/English: %.2f (target: at most 2)\n", inGerman / english);
    return 0;
}
