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
// raw bytes to FILE. It runs until SIGINT or SIGTERM.
#include <httplib.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include "RecordingFront.h"
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

  httplib::Server server;
  const auto answer = [&](const httplib::Request& req, httplib::Response& res) {
    const standin::TReply reply = service->Handle(req.method, req.target, req.body);
    res.status = reply.Status;
    res.set_content(reply.Body, "text/plain; charset=Shift_JIS");
  };
  server.Get(".*", answer);
  server.Post(".*", answer);
  server.set_logger([](const httplib::Request& req, const httplib::Response&) {
    std::printf("%s %s %zu\n", req.method.c_str(), req.target.c_str(), req.body.size());
    std::fflush(stdout);
  });

  std::unique_ptr<standin::TRecordingFront> front;
  int port = 0;
  try {
    if (o.Record.empty()) {
      port = o.Port == 0 ? server.bind_to_any_port(o.Bind) : (server.bind_to_port(o.Bind, o.Port) ? o.Port : -1);
    } else {
      const int backend = server.bind_to_any_port("127.0.0.1");
      front = std::make_unique<standin::TRecordingFront>(o.Bind, o.Port, backend, o.Record);
      port = front->Port();
    }
  } catch (const std::exception& e) {
    return Usage(e.what());
  }
  if (port <= 0) return Usage(("cannot listen on " + o.Bind + ":" + std::to_string(o.Port)).c_str());

  const TLocalTime newest = service->Newest();
  std::printf("voyla-standin: listening on %s:%d\n", o.Bind.c_str(), port);
  std::printf("voyla-standin: %zu messages from %s, the newest at %04d/%02d/%02d %02d:%02d:%02d\n",
              service->MessageCount(), o.LogFile.c_str(), newest.Date.Year, newest.Date.Month,
              newest.Date.Day, newest.Time.Hour, newest.Time.Minute, newest.Time.Second);
  std::fflush(stdout);

  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    if (front) front->Stop();
  });
  std::thread frontThread;
  if (front) frontThread = std::thread([&] { front->Run(); });
  server.listen_after_bind();
  if (frontThread.joinable()) frontThread.join();
  stopper.join();
  return 0;
}
