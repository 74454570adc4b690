// Real FTP servers on loopback for the tests: pyftpdlib (through
// ftp_server.py) and vsftpd, each serving a private folder on a free port.
// A server ends with its object, and also when the test process dies (parent
// death signal, and pyftpdlib watches its standard input).
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The pyftpdlib launcher beside this header, unless the build names it.
#ifndef TOLVEX_FTP_SERVER_SCRIPT
#define TOLVEX_FTP_SERVER_SCRIPT (std::filesystem::path(__FILE__).parent_path() / "ftp_server.py").string()
#endif

namespace ftp_test {

inline constexpr const char* kUser = "panel";
inline constexpr const char* kPassword = "secret";

struct ServerOptions {
  int rate = 0;         // bytes per second on data connections, 0 unlimited
  bool noMlsd = false;  // list with LIST only
};

class FtpServer {
 public:
  using Options = ServerOptions;

  // pyftpdlib serving root for kUser/kPassword. Null when it cannot start.
  static std::unique_ptr<FtpServer> Pyftpdlib(const std::string& root, Options options = {}) {
    std::vector<std::string> args = {"/usr/bin/python3", TOLVEX_FTP_SERVER_SCRIPT, "--root", root,
                                     "--user", kUser, "--password", kPassword};
    if (options.rate) {
      args.push_back("--rate");
      args.push_back(std::to_string(options.rate));
    }
    if (options.noMlsd) args.push_back("--no-mlsd");
    auto server = std::unique_ptr<FtpServer>(new FtpServer);
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return nullptr;
    server->pid_ = Spawn(args, in[0], out[1]);
    close(in[0]);
    close(out[1]);
    server->stdin_ = in[1];
    if (server->pid_ <= 0) {
      close(out[0]);
      return nullptr;
    }
    // "PORT <n>\n" once it listens.
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    if (line.rfind("PORT ", 0) != 0) return nullptr;
    server->port_ = std::stoi(line.substr(5));
    return server;
  }

  // vsftpd in standalone mode as the launching user, anonymous login with
  // full rights below root. Null when vsftpd is missing or does not start.
  static std::unique_ptr<FtpServer> Vsftpd(const std::string& root, const std::string& workDir) {
    if (access("/usr/sbin/vsftpd", X_OK) != 0) return nullptr;
    for (int attempt = 0; attempt < 5; ++attempt) {
      int port = FreePort();
      std::string conf = workDir + "/vsftpd.conf";
      std::ofstream(conf) << "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" << port
                          << "\nbackground=NO\nrun_as_launching_user=YES\n"
                             "anonymous_enable=YES\nlocal_enable=NO\nno_anon_password=YES\n"
                             "anon_root="
                          << root
                          << "\nwrite_enable=YES\nanon_upload_enable=YES\n"
                             "anon_mkdir_write_enable=YES\nanon_other_write_enable=YES\n"
                             "anon_world_readable_only=NO\nanon_umask=022\n"
                             "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
                             "xferlog_enable=NO\nsyslog_enable=NO\n";
      auto server = std::unique_ptr<FtpServer>(new FtpServer);
      int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
      server->pid_ = Spawn({"/usr/sbin/vsftpd", conf}, devnull, devnull);
      close(devnull);
      if (server->pid_ <= 0) return nullptr;
      server->port_ = port;
      for (int i = 0; i < 100; ++i) {
        if (CanConnect(port)) return server;
        int status;
        if (waitpid(server->pid_, &status, WNOHANG) == server->pid_) {
          server->pid_ = -1;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    return nullptr;
  }

  ~FtpServer() { Kill(); }
  int port() const { return port_; }
  // Ends the server at once, as a crash would.
  void Kill() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
  // Freezes the server: connections stay open but nothing answers.
  void Stop() {
    if (pid_ > 0) kill(pid_, SIGSTOP);
  }
  void Continue() {
    if (pid_ > 0) kill(pid_, SIGCONT);
  }

  static int FreePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
  }

 private:
  FtpServer() = default;

  static pid_t Spawn(const std::vector<std::string>& args, int in, int out) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0) return pid;
    // Child: only async-signal-safe calls until exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    execv(argv[0], argv.data());
    _exit(127);
  }

  static bool CanConnect(int port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
  }

  pid_t pid_ = -1;
  int port_ = 0;
  int stdin_ = -1;
};

// A new private folder in the system's temporary folder.
inline std::filesystem::path MakeTempDir(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  return mkdtemp(pattern.data());
}

// Deterministic file contents of a given size.
inline std::string Pattern(size_t size, unsigned seed = 1) {
  std::string s(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    s[i] = char(x >> 24);
  }
  return s;
}

inline void WriteFile(const std::filesystem::path& path, const std::string& data) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << data;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace ftp_test
