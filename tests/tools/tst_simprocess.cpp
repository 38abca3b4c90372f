// The built simulator as a process: the panel's side of a pseudo-terminal and of UDP on
// loopback, and its console. Needs TALMEK_SIM (set by ctest) or the default build layout.
#include <QFileInfo>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QByteArray StateRequest = QByteArray::fromHex("49 47 05 33 3B 00");
const QByteArray FirmwareRequest = QByteArray::fromHex("49 47 57 3B");
const QByteArray InitialStatus = QByteArray::fromHex("49 47 05 0F 0F 00 00 0F 0F 00 00 00 00 3B");
const QByteArray FirmwareReply = QByteArray::fromHex("49 47 57 01 07 00 00 00 00 00 00 00 00 3B");
const QHostAddress BoxAddress(QStringLiteral("127.0.0.2"));

QString simulatorPath()
{
    const QString fromEnv = qEnvironmentVariable("TALMEK_SIM");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../talmek-sim");
}

// Reads lines until one starts with `prefix`; bounded by `timeoutMs`.
QString waitForLine(QProcess &process, const QString &prefix, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        while (process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
            if (line.startsWith(prefix))
                return line.mid(prefix.size()).trimmed();
        }
        if (process.state() == QProcess::NotRunning)
            break;
        process.waitForReadyRead(50);
    }
    return QString();
}

QByteArray readExactly(QSerialPort &port, int count, int timeoutMs = 3000)
{
    QByteArray data;
    QElapsedTimer clock;
    clock.start();
    while (data.size() < count && clock.elapsed() < timeoutMs) {
        if (port.bytesAvailable() == 0)
            port.waitForReadyRead(50);
        data += port.readAll();
    }
    return data;
}

void sendCommand(QSerialPort &port, const QByteArray &bytes)
{
    port.write(bytes);
    port.waitForBytesWritten(1000);
}

// One state request on a line cleared of earlier bytes, so a retry starts afresh.
QByteArray askOverSerial(QSerialPort &port)
{
    port.readAll();
    sendCommand(port, StateRequest);
    return readExactly(port, 14, 1000);
}

} // namespace

class TestSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void serialRepliesArriveWhateverTheShaping_data();
    void serialRepliesArriveWhateverTheShaping();
    void serialAndUdpShareOneBoxAndQuitIsClean();
    void endOfInputKeepsRunningAndTerminateRemovesLink();
    void silentBoxAnswersAgainWhenToldAndSurvivesReopen();

private:
    bool startSimulator(const QStringList &arguments);
    bool openPort(QSerialPort &port);

    QProcess *m_sim = nullptr;
    QString m_ptyPath;
};

void TestSimProcess::init()
{
    QVERIFY2(QFileInfo(simulatorPath()).isExecutable(), qPrintable(simulatorPath()));
    m_sim = new QProcess(this);
    m_sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_ptyPath.clear();
}

void TestSimProcess::cleanup()
{
    if (m_sim->state() != QProcess::NotRunning) {
        m_sim->kill();
        m_sim->waitForFinished(3000);
    }
    delete m_sim;
    m_sim = nullptr;
}

bool TestSimProcess::startSimulator(const QStringList &arguments)
{
    m_sim->start(simulatorPath(), arguments);
    if (!m_sim->waitForStarted(5000))
        return false;
    m_ptyPath = waitForLine(*m_sim, QStringLiteral("PTY "));
    return !m_ptyPath.isEmpty();
}

bool TestSimProcess::openPort(QSerialPort &port)
{
    port.setPortName(m_ptyPath);
    return port.open(QIODevice::ReadWrite);
}

void TestSimProcess::serialRepliesArriveWhateverTheShaping_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("plain") << QStringList();
    QTest::newRow("split replies") << QStringList{QStringLiteral("--split-replies")};
    QTest::newRow("delayed") << QStringList{QStringLiteral("--delay"), QStringLiteral("30")};
    QTest::newRow("glued") << QStringList{QStringLiteral("--glue")};
}

void TestSimProcess::serialRepliesArriveWhateverTheShaping()
{
    QFETCH(QStringList, options);
    QVERIFY(startSimulator(QStringList{QStringLiteral("--pty")} + options));
    QSerialPort port;
    QVERIFY2(openPort(port), qPrintable(port.errorString()));

    // Four replies, so that --glue (pairs) delivers all of them too.
    sendCommand(port, FirmwareRequest);
    sendCommand(port, StateRequest);
    sendCommand(port, QByteArray::fromHex("49 47 02 34 3B 00 00"));
    sendCommand(port, StateRequest);
    sendCommand(port, StateRequest);
    const QByteArray selected = QByteArray::fromHex("49 47 05 0F 04 00 00 0F 0F 00 00 00 00 3B");
    QCOMPARE(readExactly(port, 56), FirmwareReply + InitialStatus + selected + selected);
}

void TestSimProcess::serialAndUdpShareOneBoxAndQuitIsClean()
{
    QVERIFY(startSimulator({QStringLiteral("--pty"), QStringLiteral("--udp"), QStringLiteral("0"),
                            QStringLiteral("--udp-bind"), BoxAddress.toString()}));
    const QString udp = waitForLine(*m_sim, QStringLiteral("UDP "));
    QVERIFY(udp.startsWith(BoxAddress.toString() + QLatin1Char(':')));
    const quint16 boxPort = udp.section(QLatin1Char(':'), 1).toUShort();
    QVERIFY(boxPort != 0);

    QSerialPort port;
    QVERIFY2(openPort(port), qPrintable(port.errorString()));
    QUdpSocket panel;
    QVERIFY(panel.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QSignalSpy received(&panel, &QUdpSocket::readyRead);
    const auto askOverUdp = [&]() -> QNetworkDatagram {
        panel.writeDatagram(QByteArray::fromHex("FE 01 FD"), BoxAddress, boxPort);
        if (!panel.hasPendingDatagrams() && !received.wait(3000))
            return QNetworkDatagram();
        return panel.receiveDatagram();
    };

    QNetworkDatagram reply = askOverUdp();
    QCOMPARE(reply.data(), QByteArray("F.F.0.0.F.F.0.0.0.0.FF"));
    QCOMPARE(reply.senderAddress(), BoxAddress);
    QCOMPARE(reply.senderPort(), int(boxPort));

    // Channel 1 to Ant 4 over UDP, seen on the serial line.
    panel.writeDatagram(QByteArray::fromHex("FE 02 03 FD"), BoxAddress, boxPort);
    QTRY_COMPARE_WITH_TIMEOUT(askOverSerial(port), QByteArray::fromHex("49 47 05 03 0F 00 00 0F 0F 00 00 00 00 3B"),
                              5000);

    // Channel 2 to Ant 1 over the serial line, seen over UDP.
    sendCommand(port, QByteArray::fromHex("49 47 02 30 3B 00 00"));
    QTRY_COMPARE_WITH_TIMEOUT(askOverUdp().data(), QByteArray("3.0.0.0.F.F.0.0.0.0.FF"), 5000);

    m_sim->write("tx 1 on\n");
    QCOMPARE(waitForLine(*m_sim, QStringLiteral("OK tx")), QStringLiteral("1 on"));
    QCOMPARE(askOverSerial(port), QByteArray::fromHex("49 47 54 03 00 00 00 0F 0F 01 00 00 00 3B"));

    m_sim->write("quit\n");
    QVERIFY(m_sim->waitForFinished(5000));
    QCOMPARE(m_sim->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_sim->exitCode(), 0);
}

void TestSimProcess::endOfInputKeepsRunningAndTerminateRemovesLink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyTalmek"));
    QVERIFY(startSimulator({QStringLiteral("--pty"), link}));
    QCOMPARE(QFileInfo(link).symLinkTarget(), m_ptyPath);

    m_sim->closeWriteChannel();
    QVERIFY(!m_sim->waitForFinished(500));

    QSerialPort port;
    port.setPortName(link);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    sendCommand(port, StateRequest);
    QCOMPARE(readExactly(port, 14), InitialStatus);
    port.close();

    m_sim->terminate();
    QVERIFY(m_sim->waitForFinished(5000));
    QCOMPARE(m_sim->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_sim->exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimProcess::silentBoxAnswersAgainWhenToldAndSurvivesReopen()
{
    QVERIFY(startSimulator({QStringLiteral("--pty"), QStringLiteral("--silent"), QStringLiteral("--hex")}));
    QSerialPort port;
    QVERIFY2(openPort(port), qPrintable(port.errorString()));
    sendCommand(port, StateRequest);
    // The box has heard the request and kept its answer to itself.
    QCOMPARE(waitForLine(*m_sim, QStringLiteral("-- pty reply not sent")), QStringLiteral("(silent)"));
    QVERIFY(!port.waitForReadyRead(0));
    QCOMPARE(port.bytesAvailable(), qint64(0));

    m_sim->write("silent off\n");
    QCOMPARE(waitForLine(*m_sim, QStringLiteral("OK silent")), QStringLiteral("off"));
    sendCommand(port, StateRequest);
    QCOMPARE(readExactly(port, 14), InitialStatus);

    // The panel disconnects and connects again: the line must still work.
    port.close();
    QVERIFY2(openPort(port), qPrintable(port.errorString()));
    sendCommand(port, StateRequest);
    QCOMPARE(readExactly(port, 14), InitialStatus);

    m_sim->write("quit\n");
    QVERIFY(m_sim->waitForFinished(5000));
    QCOMPARE(m_sim->exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
