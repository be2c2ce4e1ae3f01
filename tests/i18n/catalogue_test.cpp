// SPDX-License-Identifier: GPL-3.0-or-later
// The .mo reader on catalogues written here (good, plural, damaged), the
// plural rules of the program's languages, the look-up of whole texts, and
// messages rendered through a catalogue.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "i18n/catalogue.h"
#include "i18n/message.h"
#include "i18n/stored_message.h"
#include "i18n/text_format.h"

namespace {

using Messages = std::vector<std::pair<std::string, std::string>>;

void PutWord(std::string& out, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// A little-endian .mo file as msgfmt writes it (no hash table; the reader
// does not need one). Plural entries are "singular\0plural".
std::string WriteMo(const Messages& messages)
{
    const size_t n = messages.size();
    const size_t originals = 28;
    const size_t translations = originals + 8 * n;
    std::string out(translations + 8 * n, '\0');
    PutWord(out, 0, 0x950412de);
    PutWord(out, 8, static_cast<uint32_t>(n));
    PutWord(out, 12, static_cast<uint32_t>(originals));
    PutWord(out, 16, static_cast<uint32_t>(translations));
    for (int table = 0; table < 2; ++table) {
        for (size_t i = 0; i < n; ++i) {
            const std::string& text = table == 0 ? messages[i].first : messages[i].second;
            const size_t entry = (table == 0 ? originals : translations) + 8 * i;
            PutWord(out, entry, static_cast<uint32_t>(text.size()));
            PutWord(out, entry + 4, static_cast<uint32_t>(out.size()));
            out += text;
            out += '\0';
        }
    }
    return out;
}

std::string S(const char* text, size_t size) { return std::string(text, size); }

const Messages kGerman = {
    {"", "Content-Type: text/plain; charset=UTF-8\nPlural-Forms: nplurals=2; plural=(n != 1);\n"},
    {"Warning", "Warnung"},
    {"the identity request", "die Kennungsanfrage"},
    {"the calculator did not answer in time", "der Rechner hat nicht rechtzeitig geantwortet"},
    {"the calculator answered \"%s\" where %s was expected during %s",
     "der Rechner antwortete \xE2\x80\x9E%1$s\xE2\x80\x9C während %3$s; erwartet war %2$s"},
    {"the calculator at %s: %s", "der Rechner an %s: %s"},
    {S("%d calculator updated\0%d calculators updated", 44), S("%d Rechner aktualisiert\0%d Rechner aktualisiert!", 48)},
    {S("%d file\0%d files", 16), S("%d Datei\0%d Dateien", 19)},
    {"Update %s of %d", "Aktualisierung %s von %d"},
    {"%s; join the group that owns the port (dialout), then log in again",
     "%s; treten Sie der Gruppe bei, der der Anschluss gehört (dialout), und melden Sie sich dann neu an"},
    {"%d min %d s", "%d Min. %d s"},
};

TEST(Catalogue, AWholeWordIsLookedUpAFinishedSentenceIsNeverMatchedBack)
{
    const std::optional<MoCatalogue> c = MoCatalogue::Parse(WriteMo(kGerman));
    ASSERT_TRUE(c);
    // A word of ours kept as a string (by earlier versions, in the history)
    // is translated when the catalogue has exactly it; anything else stays
    // as it is.
    EXPECT_EQ(RenderStoredMessage(R"({"w": "Warning"})", &*c), "Warnung");
    EXPECT_EQ(Message::Raw("Warning").Render(&*c), "Warning");
    EXPECT_EQ(RenderStoredMessage(R"({"w": "Permission denied"})", &*c), "Permission denied");
    // A text filled in from a pattern is what it is: its meaning travels as
    // a message, never as the finished sentence.
    EXPECT_EQ(RenderStoredMessage(R"({"w": "the calculator at /dev/pts/3: the calculator did not answer in time"})",
                                  &*c),
              "the calculator at /dev/pts/3: the calculator did not answer in time");
    // A text with a count is never taken for one of its forms.
    EXPECT_EQ(RenderStoredMessage(R"({"w": "%d file"})", &*c), "%d file");
    EXPECT_EQ(c->Find("%d files"), nullptr);
    ASSERT_NE(c->Find("%d file"), nullptr);
    EXPECT_EQ(c->ForCount(*c->Find("%d file"), 5), "%d Dateien");
    EXPECT_EQ(Message::OneLine(Message::Raw("a\nb")).Render(&*c), "a\\nb");
    EXPECT_EQ(FormatText("%s of %d%%, %2$s again", {"a", "7"}), "a of 7%, 7 again");
    EXPECT_EQ(FormatText("%s %s", {"only"}), "only ");
}

TEST(Catalogue, RendersMessagesFromWhatTheyMean)
{
    const std::optional<MoCatalogue> c = MoCatalogue::Parse(WriteMo(kGerman));
    ASSERT_TRUE(c);
    const Message silent(N_("the calculator did not answer in time"));
    const Message nested(N_("the calculator at %s: %s"), {std::string("/dev/pts/3"), silent});
    // A message argument is translated with its row; outside text never is,
    // even where it reads like a text of the catalogue.
    const Message outside(N_("the calculator at %s: %s"),
                          {std::string("Warning"), std::string("the calculator did not answer in time")});
    const Message reordered(N_("the calculator answered \"%s\" where %s was expected during %s"),
                            {std::string("06 00"), std::string("Ack"), Message(N_("the identity request"))});
    const Message missing(N_("Not in the catalogue %s"), {Message(N_("Warning"))});
    struct Case {
        Message message;
        std::string english;
        std::string german;
    } cases[] = {
        {Message(N_("Warning")), "Warning", "Warnung"},
        {nested, "the calculator at /dev/pts/3: the calculator did not answer in time",
         "der Rechner an /dev/pts/3: der Rechner hat nicht rechtzeitig geantwortet"},
        {outside, "the calculator at Warning: the calculator did not answer in time",
         "der Rechner an Warning: the calculator did not answer in time"},
        {reordered, "the calculator answered \"06 00\" where Ack was expected during the identity request",
         "der Rechner antwortete \xE2\x80\x9E" "06 00\xE2\x80\x9C während die Kennungsanfrage; erwartet war Ack"},
        {missing, "Not in the catalogue Warning", "Not in the catalogue Warnung"},
        {Message::Count("%d calculator updated", "%d calculators updated", 1, {std::string("1")}),
         "1 calculator updated", "1 Rechner aktualisiert"},
        {Message::Count("%d calculator updated", "%d calculators updated", 3, {std::string("3")}),
         "3 calculators updated", "3 Rechner aktualisiert!"},
        {Message::Count("%d file", "%d files", 0, {std::string("0")}), "0 files", "0 Dateien"},
        {Message::Raw("Warning"), "Warning", "Warning"},
        // A device's problem in the system's words, its remedy ours; a time.
        {Message(N_("%s; join the group that owns the port (dialout), then log in again"),
                 {std::string("Permission denied")}),
         "Permission denied; join the group that owns the port (dialout), then log in again",
         "Permission denied; treten Sie der Gruppe bei, der der Anschluss gehört (dialout), "
         "und melden Sie sich dann neu an"},
        {Message(N_("%d min %d s"), {std::string("2"), std::string("5")}), "2 min 5 s", "2 Min. 5 s"},
        {Message::OneLine(Message(N_("the calculator at %s: %s"), {std::string("a\nb\x1b"), silent})),
         "the calculator at a\\nb\\x1b: the calculator did not answer in time",
         "der Rechner an a\\nb\\x1b: der Rechner hat nicht rechtzeitig geantwortet"},
        {Message(N_("%s of %d%%, %2$s again"), {std::string("a"), std::string("7")}), "a of 7%, 7 again",
         "a of 7%, 7 again"},
        {Message(), "", ""},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(k.message.English(), k.english);
        EXPECT_EQ(k.message.Render(nullptr), k.english);
        EXPECT_EQ(k.message.Render(&*c), k.german) << k.english;
    }
    // A plural entry is not taken for a text of the same singular without a
    // count, nor the other way round: each falls back to its English.
    EXPECT_EQ(Message(N_("%d file"), {std::string("4")}).Render(&*c), "4 file");
    EXPECT_EQ(Message::Count("Warning", "Warnings", 2).Render(&*c), "Warnings");
    EXPECT_TRUE(Message().Empty());
    EXPECT_FALSE(Message::Raw("x").Empty());
}

TEST(Catalogue, PluralRulesOfTheProgramsLanguages)
{
    struct Case {
        const char* header;
        int forms;
        std::vector<int> formFor0To3;
    } cases[] = {
        {"nplurals=2; plural=(n != 1);", 2, {1, 0, 1, 1}},                        // de, es
        {"nplurals=2; plural=(n > 1);", 2, {0, 0, 1, 1}},                         // fr
        {"nplurals=2; plural=n == 1 ? 0 : 1;", 2, {1, 0, 1, 1}},
        {"nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);",
         3, {2, 0, 1, 1}},
        {"nplurals=1; plural=0;", 1, {0, 0, 0, 0}},
        {"nplurals=2; plural=n ? 5 : 0;", 2, {0, 0, 0, 0}},   // a form that does not exist: the first
        {"nplurals=2; plural=1 / (n - 1);", 2, {0, 0, 1, 0}}, // n == 1 divides by zero: the first
    };
    for (const Case& k : cases) {
        const std::optional<PluralRule> rule = PluralRule::Parse(k.header);
        ASSERT_TRUE(rule) << k.header;
        EXPECT_EQ(rule->FormCount(), k.forms) << k.header;
        for (unsigned long n = 0; n < 4; ++n) {
            EXPECT_EQ(rule->FormFor(n), k.formFor0To3[n]) << k.header << " n=" << n;
        }
    }
    for (const char* bad : {"plural=(n != 1);", "nplurals=2;", "nplurals=2; plural=(n != 1;",
                            "nplurals=2; plural=n +;", "nplurals=0; plural=0;", "nplurals=2; plural=x;",
                            "nplurals=2; plural=((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((((n"
                            "))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))))"}) {
        EXPECT_FALSE(PluralRule::Parse(bad)) << bad;
    }
}

TEST(Catalogue, ADamagedFileIsRefusedWhole)
{
    const std::string good = WriteMo(kGerman);
    std::string swapped = good;   // a big-endian file
    for (size_t at = 0; at < 28 + 16 * kGerman.size(); at += 4) {
        std::swap(swapped[at], swapped[at + 3]);
        std::swap(swapped[at + 1], swapped[at + 2]);
    }
    const std::optional<MoCatalogue> bigEndian = MoCatalogue::Parse(swapped);
    ASSERT_TRUE(bigEndian);
    EXPECT_EQ(Message(N_("Warning")).Render(&*bigEndian), "Warnung");

    std::vector<std::pair<const char*, std::string>> bad;
    bad.emplace_back("empty", "");
    bad.emplace_back("wrong magic", "\x95\x04\x12\xdf" + good.substr(4));
    std::string revision = good;
    PutWord(revision, 4, 0x20000);
    bad.emplace_back("unknown major revision", revision);
    std::string count = good;
    PutWord(count, 8, 0xFFFFFFF0u);
    bad.emplace_back("count beyond the file", count);
    std::string table = good;
    PutWord(table, 16, 0xFFFFFFFCu);
    bad.emplace_back("translation table beyond the file", table);
    std::string offset = good;
    PutWord(offset, 28 + 8 + 4, static_cast<uint32_t>(good.size()));
    bad.emplace_back("string offset at the end", offset);
    std::string length = good;
    PutWord(length, 28 + 8, 0xFFFFFFFFu);
    bad.emplace_back("string length wrapping around", length);
    std::string unterminated = good;
    unterminated.back() = 'x';
    bad.emplace_back("last string without its NUL", unterminated);
    std::string header = WriteMo({{"", "Plural-Forms: nplurals=2; plural=(n !=;\n"}, {"a", "b"}});
    bad.emplace_back("unreadable plural rule", header);
    for (size_t cut = 1; cut < good.size(); cut += 7) {
        EXPECT_FALSE(MoCatalogue::Parse(good.substr(0, cut))) << "cut at " << cut;
    }
    for (const auto& [what, bytes] : bad) {
        EXPECT_FALSE(MoCatalogue::Parse(bytes)) << what;
    }
    EXPECT_FALSE(MoCatalogue::Load("/nonexistent/zentrix-update.mo"));
}

}  // namespace

namespace {

// `levels` messages of ours, each the argument of the one around it.
std::string Nested(int levels)
{
    std::string text = "\"end\"";
    for (int i = 0; i < levels; ++i) {
        text = R"({"m": "the calculator at %s: %s", "a": ["x", )" + text + "]}";
    }
    return text;
}

}  // namespace

// A kept message renders as the message itself did, in any language; what
// else a file could hold gives no text (and the English beside it is shown).
TEST(StoredMessage, RendersAsTheMessageDidAndNothingElse)
{
    const std::optional<MoCatalogue> c = MoCatalogue::Parse(WriteMo(kGerman));
    ASSERT_TRUE(c);
    const Message silent(N_("the calculator did not answer in time"));
    for (const Message& message :
         {Message(N_("the calculator at %s: %s"), {std::string("/dev/\"pts\"\n\\3"), silent}),
          Message::Count("%d file", "%d files", 5, {std::string("5")}),
          Message(N_("the calculator at %s: %s"), {std::string("Warning"), Message(N_("Warning"))})}) {
        const std::optional<std::string> kept = StoreMessage(message);
        ASSERT_TRUE(kept);
        EXPECT_EQ(kept->find('\n'), std::string::npos) << *kept;
        EXPECT_EQ(RenderStoredMessage(*kept, &*c), message.Render(&*c)) << *kept;
    }
    EXPECT_EQ(RenderStoredMessage(Nested(kStoredMessageDepth), &*c).value_or("").substr(0, 36),
              "der Rechner an x: der Rechner an x: ");
    EXPECT_FALSE(StoreMessage(Message()));
    EXPECT_FALSE(RenderStoredMessage(R"("plain")", nullptr));
    for (const std::string& hostile : {
             std::string(R"({"m": "%s %s", "a": ["a", "b"]})"),   // not a pattern of the catalogue
             std::string(R"({"m": "the calculator at %s: %s", "a": ["x"]})"),
             std::string(R"({"m": "the calculator at %s: %s", "a": ["x", "y", "z"]})"),
             std::string(R"({"m": "Update %s of %d", "a": ["1", "%s"]})"),   // no number where it says %d
             std::string(R"({"m": "%d file", "a": ["5"]})"),                  // a count without its count
             std::string(R"({"m": "%d file", "p": "%d things", "n": 2, "a": ["2"]})"),
             std::string(R"({"m": "the calculator at %s: %s", "a": ["x", {"m": "nothing of ours"}]})"),
             std::string(R"({"m": "Warning", "a": []} and more)"),
             std::string(R"({"x": "Warning"})"),
             std::string(R"("cut short)"),
             Nested(kStoredMessageDepth + 1),
             "\"" + std::string(kStoredMessageBytes, 'a') + "\"",
         }) {
        EXPECT_FALSE(RenderStoredMessage(hostile, &*c)) << hostile;
    }
}
