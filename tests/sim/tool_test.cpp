// zentrix-calc-sim as a separate process, and the demo image files.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "pty_link.h"
#include "sim/tool_options.h"

namespace {

using namespace pcside;
namespace fs = std::filesystem;

struct TempDir {
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "simtestXXXXXX").string();
        path = ::mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    std::string path;
};

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The tool, started with a pipe on its standard output.
struct Tool {
    explicit Tool(std::vector<std::string> args) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            std::vector<char*> argv{const_cast<char*>(ZENTRIX_CALC_SIM)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(fds[1]);
        out = ::fdopen(fds[0], "r");
    }
    ~Tool() {
        if (pid > 0 && !reaped) {
            ::kill(pid, SIGTERM);
            Wait();
        }
        if (out) ::fclose(out);
    }
    std::string Line() {
        char buf[1024];
        if (!out || !std::fgets(buf, sizeof buf, out)) return "";
        std::string s = buf;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    int Wait() {
        int status = 0;
        ::waitpid(pid, &status, 0);
        reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t pid = -1;
    FILE* out = nullptr;
    bool reaped = false;
};

TEST(SimTool, DemoImagesCarryTheHeaderAndEscapableBytes) {
    TempDir dir;
    Tool tool({"--write-demo-images", dir.path, "--model", "80005d7c", "--image-version", "01.05.0000",
               "--os-size", "70000", "--stub-size", "5"});
    EXPECT_EQ(tool.Wait(), 0);
    const Bytes os = ReadFile(dir.path + "/UpdateCode.bin");
    const Bytes stub = ReadFile(dir.path + "/UpdateExe.bin");
    ASSERT_EQ(os.size(), 70000u);
    ASSERT_EQ(stub.size(), 5u);
    EXPECT_EQ(Bytes(os.begin() + 0x1001C, os.begin() + 0x10020), Bytes({0x80, 0x00, 0x5D, 0x7C}));
    EXPECT_EQ(std::string(os.begin() + 0x10020, os.begin() + 0x1002A), "01.05.0000");
    for (const Bytes* b : {&os, &stub}) {
        EXPECT_NE(std::find(b->begin(), b->end(), 0x5C), b->end());
        EXPECT_NE(std::find_if(b->begin(), b->end(), [](uint8_t c) { return c < 0x20; }), b->end());
    }
    EXPECT_TRUE(zsim::EqualsFile(stub, dir.path + "/UpdateExe.bin"));
    EXPECT_FALSE(zsim::EqualsFile(Bytes(stub.begin(), stub.end() - 1), dir.path + "/UpdateExe.bin"));
    EXPECT_FALSE(zsim::EqualsFile(stub, dir.path + "/missing.bin"));

    TempDir empty;
    EXPECT_FALSE(zsim::WriteDemoImages(empty.path, {0x33, 0x36, 0x35, 0x45}, "01.05.0000", 0x10029, 10));
    EXPECT_FALSE(zsim::WriteDemoImages(empty.path, {0x33, 0x36, 0x35, 0x45}, "1.5", 0x1002A, 10));
    EXPECT_TRUE(fs::is_empty(empty.path)) << "nothing left behind";
}

TEST(SimTool, PrintsItsPtyAndJudgesEachRun) {
    TempDir dir;
    ASSERT_TRUE(zsim::WriteDemoImages(dir.path, {0x33, 0x36, 0x35, 0x45}, "01.05.0000", 70000, 3000));
    const std::string report = dir.path + "/report.txt";
    Tool tool({"--runs", "2", "--verdict", "--report", report, "--expect-stub", dir.path + "/UpdateExe.bin",
               "--expect-os", dir.path + "/UpdateCode.bin"});
    const std::string path = tool.Line();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
    {
        PtyLink pc(path);
        RunHonestUpdate(pc, Script{ReadFile(dir.path + "/UpdateExe.bin"), ReadFile(dir.path + "/UpdateCode.bin"),
                                   1024, true});
    }
    EXPECT_EQ(tool.Line(),
              "run 1: images received intact (stub 3000 bytes, OS 70000 bytes); calculator OS now 01.05.0000");
    {
        PtyLink pc(path);
        EXPECT_EQ(pc.Send(Check()), Ack());
        EXPECT_EQ(pc.Send(Text(0x01, "07068")), Text(0x15, "00070"));
        pc.Send(Terminate04());
    }
    const std::string second = tool.Line();
    EXPECT_EQ(second.rfind("run 2: update abandoned by the updater (Terminate04); 1 protocol violation(s): ", 0), 0u)
        << second;
    EXPECT_EQ(tool.Wait(), 1) << "a run with a violation makes the exit status 1";
    std::ifstream in(report);
    std::string line1, line2;
    std::getline(in, line1);
    std::getline(in, line2);
    EXPECT_NE(line1.find("ending=terminate clean=1 violations=0"), std::string::npos) << line1;
    EXPECT_NE(line1.find("stub_match=yes os_match=yes"), std::string::npos) << line1;
    EXPECT_NE(line2.find("ending=terminate04 clean=0 violations=1"), std::string::npos) << line2;
}

TEST(SimTool, CommandLineMistakesAreReported) {
    EXPECT_EQ(Tool({"--help"}).Wait(), 0);
    for (const char* bad : {"--block-size=512", "--fault=melt:3", "--model=3336354", "--route", "--frobnicate"}) {
        EXPECT_EQ(Tool({bad}).Wait(), 2) << bad;
    }
    zsim::ToolOptions o;
    std::string error;
    ASSERT_TRUE(zsim::ParseToolOptions({"--model", "FFFFFFFF", "--fault", "truncate:7", "--route=stub",
                                        "--block-size", "256", "--reject-tail", "2"},
                                       o, error))
        << error;
    EXPECT_EQ(o.calculator.modelCode, (std::array<uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(o.calculator.fault.kind, zsim::FaultKind::Truncate);
    EXPECT_EQ(o.calculator.fault.at, 7);
    EXPECT_FALSE(o.calculator.ackIdentityRequest);
    EXPECT_FALSE(o.calculator.ackBlockSizeProbe);
    EXPECT_EQ(o.calculator.rejectTailChecks, 2);
}

}  // namespace
