// voyla-standin: a stand-in for the Voyla service over real HTTP, for the
// tests, the benchmark and the demo. Usage:
//
//   voyla-standin [--port N] [--bind ADDR] [--record FILE] LOGFILE
//
// It serves LOGFILE (a saved log, such as data/log.txt) with its time
// stamps moved so that the newest message is now, on ADDR (127.0.0.1) and
// port N (0, the default, picks a free one). The first line on standard
// output is "voyla-standin: listening on ADDR:PORT"; after it, one line per
// request: method, target, body length. --record appends every request's
// raw bytes to FILE. It runs until SIGINT or SIGTERM. Its limits are those
// of THttpLimits (HttpServer.h).
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include "HttpServer.h"
#include "VoylaService.h"

namespace {

using namespace hollowmere;

struct Options {
  int Port = 0;
  std::string Bind = "127.0.0.1";
  std::string Record;
  std::string LogFile;
};

int Usage(const char* why) {
  std::cerr << "voyla-standin: " << why << "\nusage: voyla-standin [--port N] [--bind ADDR] [--record FILE] LOGFILE\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--port" && hasValue) {
      o.Port = std::atoi(argv[++i]);
    } else if (a == "--bind" && hasValue) {
      o.Bind = argv[++i];
    } else if (a == "--record" && hasValue) {
      o.Record = argv[++i];
    } else if (!a.empty() && a[0] != '-' && o.LogFile.empty()) {
      o.LogFile = a;
    } else {
      return Usage(("unexpected argument " + a).c_str());
    }
  }
  if (o.LogFile.empty()) return Usage("no log file");
  std::ifstream in(o.LogFile, std::ios::binary);
  if (!in) return Usage(("cannot read " + o.LogFile).c_str());
  std::stringstream bytes;
  bytes << in.rdbuf();

  std::unique_ptr<standin::TVoylaService> service;
  try {
    service = std::make_unique<standin::TVoylaService>(bytes.str(), TSystemClock().Now());
  } catch (const standin::EStandinLog& e) {
    return Usage((o.LogFile + ": " + e.what()).c_str());
  }

  // SIGINT and SIGTERM are taken by one thread that stops the servers.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::FILE* record = nullptr;
  if (!o.Record.empty()) {
    record = std::fopen(o.Record.c_str(), "ab");
    if (record == nullptr) return Usage(("cannot open " + o.Record).c_str());
  }
  // The line goes out before the reply, so a client that has its reply
  // finds the line printed.
  const auto answer = [&](const standin::THttpRequest& req) {
    const standin::TReply reply = service->Handle(req.Method, req.Target, req.Body);
    std::printf("%s %s %zu\n", req.Method.c_str(), req.Target.c_str(), req.Body.size());
    std::fflush(stdout);
    return standin::THttpReply{reply.Status, reply.Body};
  };
  std::unique_ptr<standin::THttpServer> server;
  try {
    server = std::make_unique<standin::THttpServer>(o.Bind, o.Port, answer, record);
  } catch (const std::exception& e) {
    return Usage(e.what());
  }
  const int port = server->Port();

  const TLocalTime newest = service->Newest();
  std::printf("voyla-standin: listening on %s:%d\n", o.Bind.c_str(), port);
  std::printf("voyla-standin: %zu messages from %s, the newest at %04d/%02d/%02d %02d:%02d:%02d\n",
              service->MessageCount(), o.LogFile.c_str(), newest.Date.Year, newest.Date.Month,
              newest.Date.Day, newest.Time.Hour, newest.Time.Minute, newest.Time.Second);
  std::fflush(stdout);

  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server->Stop();
  });
  server->Run();
  stopper.join();
  server.reset();
  if (record != nullptr) std::fclose(record);
  return 0;
}
