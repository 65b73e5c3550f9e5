// vantrel-test-http-server FOLDER [MAX_REQUESTS] [SECONDS]: serves the files of FOLDER
// on 127.0.0.1 at a free port, prints the port on its first line, and ends after
// MAX_REQUESTS requests (default 20) or SECONDS seconds (default 60).
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "local_http_server.h"

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [MAX_REQUESTS] [SECONDS]\n", argv[0]);
    return 2;
  }
  const int maxRequests = argc > 2 ? std::atoi(argv[2]) : 20;
  const int seconds = argc > 3 ? std::atoi(argv[3]) : 60;
  vantrel::test::LocalHttpServer server(maxRequests, seconds * 1000);
  server.ServeFolder(QString::fromLocal8Bit(argv[1]));
  server.onRequest = [](const vantrel::test::HttpRequestSeen& request) {
    std::fprintf(stderr, "%s %s\n", request.method.constData(), request.target.constData());
  };
  if (!server.Listen()) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
    return 1;
  }
  std::printf("%u\n", static_cast<unsigned>(server.Port()));
  std::fflush(stdout);
  QTimer::singleShot(seconds * 1000, &application, &QCoreApplication::quit);
  return QCoreApplication::exec();
}
