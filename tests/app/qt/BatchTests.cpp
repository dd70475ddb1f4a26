// The program as a batch tool: "hollowmere" run without a display from a
// program folder of its own, against the stand-in. It ends by itself with
// 0 when the pages are written, 1 when the fetch failed or the log was not
// shown, 2 for a bad command line, and its boxes go to standard error.
#include <QProcess>
#include <QtTest>
#include <filesystem>
#include <optional>

#include "WindowTests.h"
#include "platform/IniFile.h"
#include "support/RawHttpServer.h"
#include "support/StandinProcess.h"
#include "support/TestPaths.h"
#include "text/Encoding.h"

namespace hollowmere::qt::testing {
namespace {

namespace fs = std::filesystem;
using hollowmere::testing::DistDir;
using hollowmere::testing::RawHttpServer;
using hollowmere::testing::ReadFileBytes;
using hollowmere::testing::SourceDir;
using hollowmere::testing::StandinProcess;
using hollowmere::testing::TempDir;
using hollowmere::testing::WriteFileBytes;

struct Run {
  int exitCode = -1;
  QString err;
  QString out;
};

class BatchTests : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;

  // The program folder as a user has it: the program, its pattern files
  // and settings naming the sample plugin's folder.
  void LayOut() {
    dir = std::make_unique<TempDir>();
    fs::copy_file(DistDir() + "/hollowmere", dir->file("hollowmere"));
    for (const char* name : {"tagpat.txt", "metapat.txt"}) {
      fs::copy_file(SourceDir() + "/data/" + name, dir->file(name));
    }
    WriteFileBytes(dir->file("Hollowmere.ini"),
                   "[General]\r\nSppDir=" + DistDir() + "/plugins/\r\n1PageCount=100\r\n");
  }

  // `lang`: the locale the program runs in, when not the test's own.
  Run Start(const QStringList& args, const std::string& service, const QString& lang = QString()) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    if (!lang.isEmpty()) {
      for (const char* name : {"LC_ALL", "LC_TIME", "LANGUAGE"}) env.remove(name);
      env.insert("LANG", lang);
    }
    env.insert("HOLLOWMERE_SERVICE", QString::fromStdString(service));
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(dir->file("hollowmere")), args);
    Run run;
    if (!p.waitForFinished(120000)) {
      p.kill();
      p.waitForFinished();
      return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.err = QString::fromUtf8(p.readAllStandardError());
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    return run;
  }

 private slots:
  void init() { LayOut(); }
  void cleanup() { dir.reset(); }

  // The whole batch road: stand-in, fetch, pages on disk, the end.
  void pastDayNoviewWritesThePagesAndEnds() {
    StandinProcess standin(SourceDir() + "/data/log.txt", {"--record", dir->file("wire.bin")});
    const Run run = Start({"past", "1440", "20", "noview"}, standin.HostPort());
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out, QString::fromStdString("320 messages on 17 pages, first page: file://" + dir->file("long0.html") +
                                             "\n"));
    // 320 messages, 20 a page: pages 0 to 16, the last one empty.
    for (int k = 0; k <= 16; ++k) {
      QVERIFY2(fs::exists(dir->file("long" + std::to_string(k) + ".html")), qPrintable(QString::number(k)));
    }
    QVERIFY(!fs::exists(dir->file("long17.html")));
    const std::string first = ReadFileBytes(dir->file("long0.html"));
    QVERIFY(first.find("No.20<br>") != std::string::npos);
    QVERIFY(first.find("http://vote.adbe2d69\"") != std::string::npos);
    QVERIFY(ReadFileBytes(dir->file("long15.html")).find("No.320<br>") != std::string::npos);
    // The sample plugin painted the pictures.
    QVERIFY(fs::exists(dir->file("cache")) && !fs::is_empty(dir->file("cache")));
    QCOMPARE(QString::fromStdString(ReadFileBytes(dir->file("wire.bin"))),
             QString::fromStdString("GET /fetchlog.cgi?recent=1440 HTTP/1.1\r\nHost: " + standin.HostPort() +
                                    "\r\nUser-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                                    "Accept: text/html, */*\r\n\r\n"));
    // The page size was for this run only.
    QCOMPARE(TIniFile(dir->file("Hollowmere.ini")).ReadInteger("General", "1PageCount", -1), 100);
  }

  void exitStatusesAndBoxesOnStandardError() {
    RawHttpServer notALog([](const std::string&) {
      return RawHttpServer::Respond("HTTP/1.1 200 OK", "<html>maintenance</html>");
    });
    RawHttpServer maintenance([](const std::string&) {
      return RawHttpServer::Respond("HTTP/1.1 200 OK", "Result: Err\r\nExtraMessage: " +
                                                           text::Sjis("メンテナンス中です") + "\r\n");
    });
    const std::string refused = "127.0.0.1:" + std::to_string(hollowmere::testing::UnusedLocalPort());
    struct Case {
      QStringList args;
      std::string service;
      int exitCode;
      QString err;  // a line standard error must hold
    };
    const std::vector<Case> cases = {
        {{"past", "1440", "20"}, notALog.HostPort(), 2, QString::fromUtf8("Hollowmere: パラメータが不正です")},
        {{"PAST", "1440", "20", "noview"}, notALog.HostPort(), 2, QString::fromUtf8("Hollowmere: パラメータが不正です")},
        {{}, notALog.HostPort(), 2, "hollowmere: no display"},
        {{"past", "60", "20", "noview"}, refused, 1, QString::fromUtf8("Hollowmere: ログが空です")},
        {{"past", "60", "20", "view"}, notALog.HostPort(), 1,
         QString::fromUtf8("Hollowmere: サーバの応答はログではありません: <html>maintenance</html>")},
        {{"past", "60", "20", "noview"}, maintenance.HostPort(), 1,
         QString::fromUtf8("Hollowmere: SSTP Voylaサーバが次のエラーを返しました: メンテナンス中です")},
        {{"past", "60", "20", "noview"}, "HTTP://" + notALog.HostPort() + "/", 1,
         QString::fromUtf8("サーバの応答はログではありません")},
        {{"past", "60", "20", "noview"}, "x@" + notALog.HostPort(), 2,
         QString::fromUtf8("Hollowmere: 環境変数 HOLLOWMERE_SERVICE の値 \"x@") +
             QString::fromStdString(notALog.HostPort()) + "\""},
    };
    for (const Case& c : cases) {
      const Run run = Start(c.args, c.service);
      QVERIFY2(run.exitCode == c.exitCode, qPrintable(c.args.join(' ') + ": " + run.err));
      QVERIFY2(run.err.contains(c.err), qPrintable(run.err));
    }
    // Without a display the refused argument is named, with the form it wanted.
    const struct {
      QStringList args;
      QString lang;
      QString err;
    } refusals[] = {
        {{"past", "$10", "20", "noview"}, "ja_JP.UTF-8", "argument 2 \"$10\" is not a decimal number of minutes"},
        {{"term", "2026/12/07-2026/12/08", "20", "noview"}, "C.UTF-8",
         "argument 2 \"2026/12/07-2026/12/08\" is not two dates joined by \"-\""},
    };
    for (const auto& r : refusals) {
      const Run run = Start(r.args, notALog.HostPort(), r.lang);
      QVERIFY2(run.exitCode == 2, qPrintable(run.err));
      QVERIFY2(run.err.contains(QString::fromUtf8("Hollowmere: パラメータが不正です\nhollowmere: ") + r.err),
               qPrintable(run.err));
    }
    const Run failed = Start({"past", "60", "20", "noview"}, refused);
    QVERIFY2(failed.err.contains(QString::fromUtf8("に接続できません: Connection refused")), qPrintable(failed.err));
    QVERIFY(!fs::exists(dir->file("long0.html")));
  }

  // The usage in each locale's forms; its examples are accepted there (the
  // fetch is refused by the service, not the argument by the program).
  void helpShowsTheLocalesFormsAndItsExamplesRun() {
    RawHttpServer notALog([](const std::string&) {
      return RawHttpServer::Respond("HTTP/1.1 200 OK", "<html>maintenance</html>");
    });
    const QString today = QDate::currentDate().toString("yyyy/MM/dd");
    const struct {
      QString lang;
      QString forms;
    } cases[] = {
        {"C.UTF-8", "date d MMM yyyy"},
        {"ja_JP.UTF-8", "date yyyy/MM/dd (today: " + today + "), time H:mm (e.g. 14:00)"},
        {"en_US.UTF-8", "date M/d/yyyy"},
        {"sv_SE.UTF-8", "no range can be given"},
    };
    for (const auto& c : cases) {
      const Run help = Start({"--help"}, notALog.HostPort(), c.lang);
      QVERIFY2(help.exitCode == 0 && help.out.startsWith("Usage: hollowmere"), qPrintable(c.lang + help.err));
      QVERIFY2(help.out.contains(c.forms), qPrintable(help.out));
      QCOMPARE(Start({"-h"}, notALog.HostPort(), c.lang).out, help.out);
      const QRegularExpression example("^  hollowmere (term|start) \"([^\"]+)\" 20 \\w+$",
                                       QRegularExpression::MultilineOption);
      int examples = 0;
      for (auto m = example.globalMatch(help.out); m.hasNext(); ++examples) {
        const QRegularExpressionMatch one = m.next();
        const Run run = Start({one.captured(1), one.captured(2), "20", "noview"}, notALog.HostPort(), c.lang);
        QVERIFY2(run.exitCode == 1, qPrintable(c.lang + ": " + one.captured(0) + "\n" + run.err));
      }
      QVERIFY2(examples == (c.lang.startsWith("sv") ? 1 : 2), qPrintable(help.out));
    }
  }
};

}  // namespace

std::unique_ptr<QObject> MakeBatchTests() { return std::make_unique<BatchTests>(); }

}  // namespace hollowmere::qt::testing

#include "BatchTests.moc"
