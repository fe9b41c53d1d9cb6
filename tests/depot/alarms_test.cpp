// The alarms service against a real SMTP server (aiosmtpd, started here)
// and a database of the private cluster that springdata syncs a line into:
// a drifting shift mails once, a mail server that is down delays the mail
// without losing the alarm, a line not synced for an hour raises its alarm
// once.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <unistd.h>

#include "database/records.h"
#include "pg/pg.h"
#include "platform/clock.h"
#include "server/alarms.h"
#include "server/dbquery.h"
#include "testsupport.h"

namespace {

QString Db(const QString& user) {
  return QStringLiteral("host=%1 port=%2 dbname=alarms user=%3").arg(KALVOR_PG_HOST, KALVOR_PG_PORT, user);
}

class Alarms : public ::testing::Test {
 protected:
  void SetUp() override {
    QString error;
    depot::Connection server;
    ASSERT_TRUE(server.Open(Db("kalvor_admin").replace("dbname=alarms", "dbname=postgres"), "test", error));
    ASSERT_TRUE(server.Exec("DROP DATABASE IF EXISTS alarms WITH (FORCE)", error) &&
                server.Exec("CREATE DATABASE alarms", error)) << qPrintable(error);
    ASSERT_EQ(Springdata({"db", "migrate", "--database", Db("kalvor_admin"), "--time-zone",
                          QString::fromUtf8(QTimeZone::systemTimeZoneId())}), 0);
    ASSERT_EQ(Springdata({"db", "add-line", "l1", "--database", Db("kalvor_admin")}), 0);
    ASSERT_TRUE(testsupport::MakeInstallation(dir.filePath("l1")));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("mail")));
    ASSERT_TRUE(db.Open(Db("kalvor_admin"), "test", error));
    smtpPort = 19000 + getpid() % 1000;
  }
  void TearDown() override { StopSmtp(); }

  int Springdata(const QStringList& args) { return testsupport::Run(KALVOR_SPRINGDATA, args).exitCode; }
  // Writes the shifts of `first` to `last` days ago, six springs each, into
  // `file` (the free heights of a shift around `height`) and syncs the line.
  void SyncShifts(const char* file, int first, int last, float height) {
    const float spread[6] = {-0.3f, -0.15f, 0.0f, 0.05f, 0.15f, 0.25f};
    QByteArray bytes;
    for (int d = first; d >= last; --d)
      for (int k = 0; k < 6; ++k) {
        MeasurementRecord r;
        r.Identifier = QStringLiteral("S-%1-%2").arg(d).arg(k);
        r.BogieType = r.SpringType = 1;
        r.Date = plat::DateTimeToDays(QDateTime(QDate::currentDate().addDays(-d), QTime(0, k)));
        const float v[7] = {0, 136 + spread[5 - k], height + (d % 2 ? 0.05f : -0.05f) + spread[k], 0.8f, 11.5f,
                            0.5f, 46};
        for (int p = 1; p <= 6; ++p) r.Param[p].Value = v[p];
        bytes += EncodeMeasurementRecord(r);
      }
    QFile f(dir.filePath("l1/Report/") + file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    ASSERT_EQ(Springdata({"sync", "--home", dir.filePath("l1"), "--database", Db("kalvor_line_l1"), "--line", "l1"}), 0);
  }
  void StartSmtp(const QStringList& options = {}) {
    smtp.start("/usr/bin/python3", QStringList{KALVOR_SOURCE_DIR + "/tests/support/smtpsink.py",
                                               QString::number(smtpPort), dir.filePath("mail")} + options);
    ASSERT_TRUE(smtp.waitForReadyRead(20000)) << smtp.readAllStandardError().constData();
  }
  void StopSmtp() {
    smtp.kill();
    smtp.waitForFinished();
  }
  // One pass of the service, on the clock `now` when one is given.
  void Pass(const QString& now = {}) {
    QStringList args = {"alarms", "--database", Db("kalvor_alarms"), "--smtp",
                        QStringLiteral("smtp://127.0.0.1:%1").arg(smtpPort), "--to", "engineer@depot.example",
                        "--page-url", "https://depot.example/", "--once"};
    if (!now.isEmpty()) args << "--now" << now;
    const auto r = testsupport::Run(KALVOR_DEPOT, args);
    ASSERT_EQ(r.exitCode, 0) << qPrintable(r.err);
  }
  QStringList Mails() {
    QStringList out;
    for (const QString& name : QDir(dir.filePath("mail")).entryList({"*.eml"}, QDir::Files, QDir::Name)) {
      QFile f(dir.filePath("mail/" + name));
      EXPECT_TRUE(f.open(QIODevice::ReadOnly));
      const QByteArray all = f.readAll();
      const qsizetype body = all.indexOf("\r\n\r\n");
      out << QString::fromUtf8(all.left(body) + "\n" + QByteArray::fromBase64(all.mid(body + 4)));
    }
    return out;
  }
  depot::Result Sql(const QByteArray& sql) {
    depot::Result r;
    QString error;
    EXPECT_TRUE(db.Query(sql, {}, r, error)) << qPrintable(error);
    return r;
  }

  QTemporaryDir dir;
  depot::Connection db;
  QProcess smtp;
  int smtpPort = 0;
};

TEST_F(Alarms, DriftingShiftMailsOnceAndAMailServerDownDelaysTheMail) {
  StartSmtp();
  SyncShifts("base.bin", 24, 1, 250);
  Pass();
  EXPECT_EQ(Mails().size(), 0) << "a steady line raises nothing";
  // Today's shift runs 2 mm high: rule 1 of the free height's chart.
  SyncShifts("day.bin", 0, 0, 252);
  Pass();
  QStringList mails = Mails();
  ASSERT_EQ(mails.size(), 1);
  const QString today = QDate::currentDate().toString(Qt::ISODate);
  EXPECT_TRUE(mails[0].contains("X-Rcpt: engineer@depot.example")) << qPrintable(mails[0]);
  EXPECT_TRUE(mails[0].contains("X-Subject-Text: Kalvor, линия l1: нарушение правил Western Electric, тип 1/1, смена " +
                                QDate::currentDate().toString("dd.MM.yyyy")))
      << qPrintable(mails[0]);
  EXPECT_TRUE(mails[0].contains("Линия: l1")) << qPrintable(mails[0]);
  EXPECT_TRUE(mails[0].contains("Смена: " + QDate::currentDate().toString("dd.MM.yyyy"))) << qPrintable(mails[0]);
  EXPECT_TRUE(mails[0].contains("Правило: X̄ высоты: правило 1")) << qPrintable(mails[0]);
  EXPECT_TRUE(mails[0].contains(QRegularExpression("Карта: https://depot\\.example/type\\?line=l1&bogie=1&spring=1&"
                                                   "\\S*shift=" + today + "#p2")))
      << qPrintable(mails[0]);
  Pass();
  EXPECT_EQ(Mails().size(), 1) << "a second pass sends nothing new";

  // Two hours later, the mail server down: the line's alarm is kept unsent,
  // and the lines page says so.
  StopSmtp();
  const QString later = QDateTime::currentDateTime().addSecs(7200).toString(Qt::ISODate);
  Pass(later);
  depot::Result r = Sql("SELECT rule, mail_sent_at IS NULL, mail_attempts, mail_error <> '' FROM alarms ORDER BY id");
  ASSERT_EQ(r.Rows(), 2);
  EXPECT_EQ(r.Value(1, 0), "stale");
  EXPECT_EQ(r.Value(1, 1) + r.Value(1, 2) + r.Value(1, 3), "t1t");
  depot::SetDatabase(Db("kalvor_reader").toStdString());
  const QByteArray list = depot::RecentAlarmsHtml();
  EXPECT_TRUE(list.contains("нет синхронизации больше часа")) << list.constData();
  EXPECT_TRUE(list.contains("не отправлено, почта не отвечает (попыток: 1)")) << list.constData();

  // Back up: the kept mail goes out, and the stale line's alarm only once.
  StartSmtp();
  Pass(later);
  Pass(later);
  mails = Mails();
  ASSERT_EQ(mails.size(), 2);
  EXPECT_TRUE(mails[1].contains("нет синхронизации больше часа")) << qPrintable(mails[1]);
  EXPECT_EQ(Sql("SELECT count(*) FROM alarms WHERE mail_sent_at IS NULL").Value(0, 0), "0");
}

// STARTTLS to a mail server with a certificate of the depot's own and a
// login whose password is in a file: the mail goes out once the certificate
// checks against --ca-file, and not before.
TEST_F(Alarms, StartTlsWithTheDepotsOwnCertificateAndAPasswordFile) {
  const QString cert = dir.filePath("mail.pem"), key = dir.filePath("mail.key"), secret = dir.filePath("password");
  ASSERT_EQ(testsupport::Run("/usr/bin/openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                                  "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                                  "-keyout", key, "-out", cert}).exitCode, 0);
  QFile f(secret);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("s3cret\n") == 7);
  f.close();
  StartSmtp({"--tls", cert, key, "--login", "alarms", "s3cret"});
  // Two hours after the line was added, never synced: its alarm.
  const QString later = QDateTime::currentDateTime().addSecs(7200).toString(Qt::ISODate);
  auto pass = [&](const QStringList& options) {
    return testsupport::Run(KALVOR_DEPOT, QStringList{"alarms", "--database", Db("kalvor_alarms"), "--smtp",
                                                      QStringLiteral("smtp://alarms@127.0.0.1:%1").arg(smtpPort),
                                                      "--starttls", "--password-file", secret, "--to",
                                                      "engineer@depot.example", "--once", "--now", later} + options)
        .exitCode;
  };
  ASSERT_EQ(pass({}), 0);
  EXPECT_EQ(Mails().size(), 0) << "the system's authorities do not know the certificate";
  EXPECT_TRUE(Sql("SELECT mail_error FROM alarms").Text(0, 0).contains("certificate"));
  ASSERT_EQ(pass({"--ca-file", cert}), 0);
  const QStringList mails = Mails();
  ASSERT_EQ(mails.size(), 1) << qPrintable(Sql("SELECT mail_error FROM alarms").Text(0, 0));
  EXPECT_TRUE(mails[0].contains("X-Login: alarms") && mails[0].contains("нет ни одной синхронизации"))
      << qPrintable(mails[0]);
}

TEST_F(Alarms, TheServiceRoleWritesOnlyItsTable) {
  QString error;
  depot::Connection service;
  ASSERT_TRUE(service.Open(Db("kalvor_alarms"), "test", error)) << qPrintable(error);
  EXPECT_TRUE(service.Query("SELECT count(*) FROM lines, measurement_hours", {}, error)) << qPrintable(error);
  EXPECT_FALSE(service.Query("UPDATE lines SET last_sync_at = now()", {}, error));
  EXPECT_FALSE(service.Query("DELETE FROM alarms", {}, error));
  EXPECT_FALSE(service.Query("UPDATE alarms SET cause = ''", {}, error));
}

}  // namespace
