// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An image file rewritten in place as a copy program does it: truncated,
// then written piece by piece, slowly, on a thread of its own.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

inline std::string FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class CSlowRewrite {
public:
    CSlowRewrite(const std::filesystem::path& path, std::string contents, int pieces, int pauseMs)
        : m_thread([this, path, contents = std::move(contents), pieces, pauseMs] {
              const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
              const size_t piece = (contents.size() + pieces - 1) / pieces;
              for (size_t at = 0; fd >= 0 && at < contents.size(); at += piece) {
                  const size_t length = std::min(piece, contents.size() - at);
                  if (::write(fd, contents.data() + at, length) != static_cast<ssize_t>(length)) {
                      break;
                  }
                  if (at == 0) {
                      m_started.set_value();
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
              }
              if (fd >= 0) {
                  ::close(fd);
              }
          })
    {
    }
    ~CSlowRewrite() { Wait(); }
    CSlowRewrite(const CSlowRewrite&) = delete;
    CSlowRewrite& operator=(const CSlowRewrite&) = delete;

    // Once the file has been cut and its first piece written.
    void WaitStarted() { m_started.get_future().wait_for(std::chrono::seconds(10)); }
    void Wait()
    {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    std::promise<void> m_started;
    std::thread m_thread;
};
