// SPDX-License-Identifier: GPL-3.0-or-later
// The real program in the user's language: German boxes, progress and
// reason for a German locale; the C locale gives the English texts byte
// for byte, and the history (its file, --json, --csv) keeps English
// whatever the language.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/console_texts.h"
#include "tests/e2e/demo_folder.h"
#include "tests/e2e/terminal_screen.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Reasons(const fs::path& history)
{
    std::ifstream in(history);
    std::vector<std::string> reasons;
    static const std::regex kReason(R"re("reason": ?"([^"]*)")re");
    std::smatch match;
    for (std::string line; std::getline(in, line);) {
        reasons.push_back(std::regex_search(line, match, kReason) ? match[1].str() : "(none)");
    }
    return reasons;
}

TEST(Language, GermanForAGermanLocaleEnglishByteForByteInTheCLocale)
{
    const fs::path dir = MakeDemoFolder("zentrix-e2e-lang", ZENTRIX_SIM_BIN);
    ASSERT_FALSE(dir.empty());
    // A calculator newer than the images: the refusal with its reason.
    CBackgroundProcess calculator({ZENTRIX_SIM_BIN, "--runs", "3", "--os-version", "02.00.0000"});
    const std::string device = calculator.ReadLine();
    const auto update = [&](std::vector<std::string> env) {
        // The language variables not given are empty (the test's own are not used).
        for (const std::string name : {"ZENTRIX_LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            if (std::none_of(env.begin(), env.end(), [&](const std::string& v) { return v.rfind(name + "=", 0) == 0; })) {
                env.push_back(name + "=");
            }
        }
        env.insert(env.end(), {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + device, "ZENTRIX_USB_IDS=",
                               "TMPDIR=" + (dir / "scratch").string(), "XDG_STATE_HOME=" + (dir / "state").string()});
        return RunProcess({ZENTRIX_UPDATE_BIN, (dir / "img").string(), "0"}, env, "ok\ny\nOK\n");
    };
    const ProcessResult german = update({"LANGUAGE=de", "LANG=de_DE.UTF-8"});
    const ProcessResult cLocale = update({"LC_ALL=C", "LANGUAGE=de", "LANG=de_DE.UTF-8"});
    const ProcessResult english = update({});

    EXPECT_EQ(german.exitCode, 18);
    EXPECT_EQ(german.out,
              "== Rechner anschließen. ==\nBitte schließen Sie den Rechner an.\n[OK]\n"
              "== Warnung ==\n"
              "Beim Aktualisieren werden alle Daten im Hauptspeicher des Rechners gelöscht.\n"
              "Wenn Sie die Daten brauchen, sichern Sie sie vor dem Aktualisieren.\n"
              "Verwenden Sie dazu die Sicherungsfunktion im MEMORY-Modus.\n\n"
              "Möchten Sie mit der Aktualisierung fortfahren?\nOK [Abbrechen]\n"
              "== Alle Daten im Hauptspeicher des Rechners löschen. ==\nSind Sie sicher?\nOK [Abbrechen]\n"
              "== Fehler ==\n"
              "Das Betriebssystem Ihres Rechners ist gleich alt wie oder neuer als das Betriebssystem, auf das "
              "Sie aktualisieren möchten.\n"
              "Sie müssen Ihr Betriebssystem nicht aktualisieren.\n[OK]\n");
    EXPECT_NE(german.err.find("Version des Rechners wird geprüft... [####################] 100% 256/256\n"),
              std::string::npos)
        << german.err;
    EXPECT_NE(german.err.find("zentrix-update: die Versionsprüfung: auf dem Rechner läuft OS 02.00, bereits "
                              "gleich oder neuer als 01.05 des Abbilds\n"),
              std::string::npos)
        << german.err;

    EXPECT_EQ(cLocale.exitCode, english.exitCode);
    EXPECT_EQ(cLocale.out, english.out);
    EXPECT_EQ(cLocale.err, english.err);
    EXPECT_EQ(english.out, console_texts::kPrompts +
                               console_texts::Error("The operating system of your calculator is the same as or later "
                                                    "than the operating system you are trying to update to.\n"
                                                    "You do not need to update your operating system."));
    EXPECT_NE(english.err.find("zentrix-update: the version check: the calculator runs OS 02.00, already at or "
                               "above the image's 01.05\n"),
              std::string::npos)
        << english.err;

    // The history holds the reason in English, whatever the language shown.
    const std::vector<std::string> reasons = Reasons(dir / "state" / "zentrix-update" / "history.jsonl");
    ASSERT_EQ(reasons.size(), 3u);
    EXPECT_EQ(reasons[0], "the version check: the calculator runs OS 02.00, already at or above the image's 01.05");
    EXPECT_EQ(reasons[1], reasons[0]);
    EXPECT_EQ(reasons[2], reasons[0]);
    const auto history = [&](const std::string& format, const std::string& language) {
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, "--history"};
        if (!format.empty()) {
            argv.push_back(format);
        }
        return RunProcess(argv,
                          {"XDG_STATE_HOME=" + (dir / "state").string(), "ZENTRIX_LANG=" + language}, "")
            .out;
    };
    EXPECT_EQ(history("--json", "de"), history("--json", "en"));
    EXPECT_EQ(history("--csv", "de"), history("--csv", "en"));
    // The table renders the kept reason and the mode word in German: no
    // English word of ours is left in it.
    const std::string table = history("", "de");
    EXPECT_EQ(table.rfind("Beginn (UTC)         Ergebnis  Gerät ", 0), 0u) << table;
    EXPECT_NE(table.find("einzeln  die Versionsprüfung: auf dem Rechner läuft OS 02.00, bereits gleich oder neuer "
                         "als 01.05 des Abbilds\n"),
              std::string::npos)
        << table;
    EXPECT_FALSE(std::regex_search(table, std::regex(R"(\b(single|all|watch|the|calculator|version|check)\b)")))
        << table;
    // A line torn by a power cut: its warning in German (English in the history tests).
    const fs::path file = dir / "state" / "zentrix-update" / "history.jsonl";
    std::ofstream(file, std::ios::app) << R"({"started": "2026-12-01T09:00:00Z", "dev)";
    const ProcessResult torn = RunProcess({ZENTRIX_UPDATE_BIN, "--history"},
                                          {"XDG_STATE_HOME=" + (dir / "state").string(), "ZENTRIX_LANG=de"}, "");
    EXPECT_EQ(torn.err, "zentrix-update: Zeile 4 von " + file.string() +
                            " ist kein vollständiger Eintrag (beim Schreiben abgeschnitten?); sie wird übersprungen\n");
    fs::remove_all(dir);
}

// English words of the program's own that a German screen must not show.
const std::regex kOurEnglish(
    R"(\b(updated|current|unsupported|failed|not started|calculators?|answer|version|identity|Updating|Checking|configured|nothing connected|Waiting)\b)");

// A German --all with every ending: an update, a calculator already
// current, one not supported, one that stops answering and a configured
// port with nothing on it. The rows, the summary lines, the counts and the
// history table's result words are German; the console takes "ja" and
// "nein"; the C locale gives the English of the same set.
TEST(Language, AGermanSetShowsEveryEndingInGermanAndTakesJaAndNein)
{
    const fs::path dir = MakeDemoFolder("zentrix-e2e-lang-set", ZENTRIX_SIM_BIN);
    ASSERT_FALSE(dir.empty());
    const auto runSet = [&](std::vector<std::string> env, const std::string& answers, int columns) {
        std::vector<std::unique_ptr<CBackgroundProcess>> calculators;
        std::string devices;
        for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
                 {}, {"--os-version", "02.00.0000"}, {"--model", "12345678"}, {"--fault", "silent:100"}}) {
            std::vector<std::string> argv = {ZENTRIX_SIM_BIN, "--runs", "1"};
            argv.insert(argv.end(), options.begin(), options.end());
            calculators.push_back(std::make_unique<CBackgroundProcess>(argv));
            devices += calculators.back()->ReadLine() + ";";
        }
        devices += (dir / "no-calculator-here").string();
        env.insert(env.end(), {"ZENTRIX_UI=console", "ZENTRIX_DEVICES=" + devices, "ZENTRIX_USB_IDS=",
                               "ZENTRIX_REPLY_TIMEOUT=2", "TMPDIR=" + (dir / "scratch").string(),
                               "XDG_STATE_HOME=" + (dir / "state").string(), "ZENTRIX_LANG=", "LANGUAGE=",
                               "LC_MESSAGES="});
        return RunProcess({"/usr/bin/timeout", "-s", "KILL", "120", ZENTRIX_UPDATE_BIN, "--all",
                           (dir / "img").string()},
                          env, answers, 0, columns);
    };
    const ProcessResult german = runSet({"LANG=de_DE.UTF-8", "LC_ALL="}, "ja\nja\nja\nnein\n", 60);
    EXPECT_EQ(german.exitCode, 18) << german.err;
    // On a terminal of 60 columns every line fits, German ones too; a row
    // too long ends after a word in "…".
    EXPECT_LT(FollowTerminal(german.err, 60, 24).longest, 60u) << german.err;
    EXPECT_NE(german.err.find("\xE2\x80\xA6\r\n"), std::string::npos) << german.err;
    // "ja" and "nein" answered every box: none asked again.
    EXPECT_EQ(german.out.find("Bitte antworten"), std::string::npos) << german.out;
    std::smatch english;
    EXPECT_FALSE(std::regex_search(german.out, english, kOurEnglish)) << english.str() << "\n" << german.out;
    EXPECT_FALSE(std::regex_search(german.err, english, kOurEnglish)) << english.str() << "\n" << german.err;
    for (const char* shown : {"aktualisiert /dev/", "aktuell /dev/", "fehlgeschlagen /dev/",
                              "An 1 eingetragenen Anschluss war nichts angeschlossen."}) {
        EXPECT_NE(german.out.find(shown), std::string::npos) << shown << "\n" << german.out;
    }

    // The same set in the C locale: English, answered in English.
    const ProcessResult cLocale = runSet({"LC_ALL=C", "LANG=de_DE.UTF-8"}, "ok\nok\nok\ncancel\n", 0);
    EXPECT_EQ(cLocale.exitCode, 18) << cLocale.err;
    EXPECT_NE(cLocale.out.find("4 calculators: 1 updated, 1 already current, 1 not supported, 1 failed. 1 configured "
                               "port had nothing connected."),
              std::string::npos)
        << cLocale.out;
    EXPECT_TRUE(std::regex_search(cLocale.out, kOurEnglish)) << cLocale.out;   // the words looked for are there

    // The history table: German result words (the recorded reasons are the
    // file's English); --csv stays English.
    const auto history = [&](const std::string& language, const std::string& format) {
        std::vector<std::string> argv = {ZENTRIX_UPDATE_BIN, "--history"};
        if (!format.empty()) {
            argv.push_back(format);
        }
        return RunProcess(argv, {"XDG_STATE_HOME=" + (dir / "state").string(), "ZENTRIX_LANG=" + language}, "").out;
    };
    const std::string table = history("de", "");
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line);   // the headings
    int rows = 0;
    for (; std::getline(lines, line); ++rows) {
        const std::string result = line.substr(line.find("  ") + 2);
        EXPECT_TRUE(std::regex_search(result, std::regex("^ *(aktualisiert|aktuell|nicht unterst|fehlgeschlagen)")))
            << line;
    }
    EXPECT_EQ(rows, 8) << table;
    EXPECT_NE(history("de", "--csv").find(",failed,"), std::string::npos);
    fs::remove_all(dir);
}

TEST(Language, HelpInFrenchAndADamagedCatalogueIsEnglish)
{
    // With a mistyped option: its warning in French, English byte for byte otherwise.
    const ProcessResult french = RunProcess({ZENTRIX_UPDATE_BIN, "--al", "--help"}, {"ZENTRIX_LANG=fr"}, "");
    const ProcessResult english =
        RunProcess({ZENTRIX_UPDATE_BIN, "--al", "--help"}, {"ZENTRIX_LANG=en", "LC_ALL=C"}, "");
    EXPECT_EQ(french.err, "zentrix-update: option inconnue --al ignorée (vouliez-vous dire --all ?)\n");
    EXPECT_EQ(english.err, "zentrix-update: unknown option --al ignored (did you mean --all?)\n");
    EXPECT_EQ(french.out.rfind("Usage : zentrix-update [DOSSIER [PROPRIÉTAIRE]]\n", 0), 0u) << french.out;
    EXPECT_NE(french.out.find("\n  -h, --help        afficher cette aide et quitter\n"), std::string::npos);
    EXPECT_EQ(english.out.rfind("Usage: zentrix-update [DIR [OWNER]]\n", 0), 0u) << english.out;
    // Every piece of the help is translated: no English line is left.
    EXPECT_EQ(french.out.find("show this help"), std::string::npos);
    EXPECT_EQ(RunProcess({ZENTRIX_UPDATE_BIN, "--device", "/dev/x", "--history"}, {"ZENTRIX_LANG=fr"}, "").err,
              "zentrix-update: --device ne va pas avec --history : rien n'a été fait\n");

    // A catalogue cut short beside a copy of the program: English, byte for byte.
    const fs::path dir = fs::temp_directory_path() / ("zentrix-e2e-mo-" + std::to_string(getpid()));
    fs::create_directories(dir / "locale" / "de" / "LC_MESSAGES");
    fs::copy_file(ZENTRIX_UPDATE_BIN, dir / "zentrix-update");
    const fs::path good = fs::path(ZENTRIX_UPDATE_BIN).parent_path() / "locale" / "de" / "LC_MESSAGES" /
                          "zentrix-update.mo";
    ASSERT_TRUE(fs::exists(good));
    fs::copy_file(good, dir / "locale" / "de" / "LC_MESSAGES" / "zentrix-update.mo");
    fs::resize_file(dir / "locale" / "de" / "LC_MESSAGES" / "zentrix-update.mo", fs::file_size(good) - 5);
    const ProcessResult damaged = RunProcess(
        {(dir / "zentrix-update").string(), "--help"},
        {"ZENTRIX_LANG=de", "LD_LIBRARY_PATH=" + fs::path(ZENTRIX_ZRENUM_LIB).parent_path().string()}, "");
    EXPECT_EQ(damaged.out, english.out);
    fs::remove_all(dir);
}

}  // namespace
