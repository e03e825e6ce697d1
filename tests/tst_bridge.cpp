#include "DesktopBridge.h"
#include "FileRoutines.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QMainWindow>
#include <QMetaMethod>
#include <QWebChannel>
#include <QWebChannelAbstractTransport>

namespace {

// Stands where the page's transport would: records what the channel sends and
// delivers messages shaped as qwebchannel.js shapes them.
class RecordingTransport final : public QWebChannelAbstractTransport
{
public:
    void sendMessage(const QJsonObject &message) override { sent.append(message); }
    void deliver(const QJsonObject &message) { emit messageReceived(message, this); }

    QJsonObject responseTo(int id) const
    {
        for (const QJsonObject &message : sent)
            if (message.value(QStringLiteral("id")).toInt(-1) == id)
                return message;
        return QJsonObject();
    }

    QList<QJsonObject> sent;
};

} // namespace

class BridgeTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void webChannel_publishesTheMethodTableAndAnswersCalls();
    void windowCommands_data();
    void windowCommands();
    void parsePayloadObject_refusesRepeatedKeys_data();
    void parsePayloadObject_refusesRepeatedKeys();
};

// What the page relies on: every method under its name at a stable index, with the
// parameter names of its published signature, callable through the channel. The meta-object
// lists signals before methods, so the one signal comes first.
void BridgeTest::webChannel_publishesTheMethodTableAndAnswersCalls()
{
    const QList<QPair<QByteArray, QList<QByteArray>>> expected = {
        {"launchFileWaiting", {}}, {"windowMinimize", {}}, {"windowMaximize", {}}, {"windowClose", {}}, {"openProject", {"path"}},
        {"openProject", {}}, {"saveProject", {"payloadJson"}}, {"savePrintPdf", {"payloadJson"}},
        {"pickSpreadsheet", {}}, {"readSpreadsheet", {"path"}}, {"listLocalFonts", {}}, {"listPrinters", {}},
        {"submitPrintJob", {"payloadJson"}}, {"printerOptions", {"printerName"}},
        {"takeLaunchFile", {}}, {"readImageFile", {"path"}}, {"listLabelTemplates", {}}, {"openFileLink", {"kind", "path"}},
    };
    const QMetaObject &meta = DesktopBridge::staticMetaObject;
    QCOMPARE(meta.methodCount() - meta.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.name(), expected[i].first);
        QCOMPARE(method.parameterNames(), expected[i].second);
    }

    QMainWindow window;
    window.show();
    DesktopBridge bridge(&window, &window);
    QWebChannel channel;
    channel.registerObject(QStringLiteral("desktopBridge"), &bridge);
    RecordingTransport transport;
    channel.connectTo(&transport);
    enum { Init = 3, Invoke = 6, Response = 10 };
    transport.deliver({{"type", Init}, {"id", 1}});
    QTRY_VERIFY(!transport.responseTo(1).isEmpty());
    const QJsonObject published = transport.responseTo(1).value("data").toObject().value("desktopBridge").toObject();
    QHash<QString, int> indexOf;
    for (const char *kind : {"methods", "signals"}) {
        for (const QJsonValue &method : published.value(QLatin1String(kind)).toArray())
            indexOf.insert(method.toArray().at(0).toString(), method.toArray().at(1).toInt());
    }
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(indexOf.value(QString::fromLatin1(meta.method(meta.methodOffset() + i).methodSignature()), -1),
                 meta.methodOffset() + i);

    transport.deliver({{"type", Invoke}, {"id", 2}, {"object", "desktopBridge"},
                       {"method", indexOf.value("windowMaximize")}, {"args", QJsonArray()}});
    QTRY_VERIFY(!transport.responseTo(2).isEmpty());
    QCOMPARE(transport.responseTo(2).value("type").toInt(), int(Response));
    QCOMPARE(transport.responseTo(2).value("data").toString(), QStringLiteral("{\"ok\":true}"));
    QVERIFY(window.isMaximized());
}

// Each command called twice: maximize toggles back, and without a window every call still replies.
void BridgeTest::windowCommands_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<bool>("withWindow");
    QTest::addColumn<QList<Qt::WindowState>>("statesAfterEachCall");
    using States = QList<Qt::WindowState>;
    QTest::addRow("maximize toggles") << QByteArray("windowMaximize") << true << States{Qt::WindowMaximized, Qt::WindowNoState};
    QTest::addRow("minimize") << QByteArray("windowMinimize") << true << States{Qt::WindowMinimized, Qt::WindowMinimized};
    QTest::addRow("close hides") << QByteArray("windowClose") << true << States{Qt::WindowNoState, Qt::WindowNoState};
    for (const char *method : {"windowMinimize", "windowMaximize", "windowClose"})
        QTest::addRow("%s without a window", method) << QByteArray(method) << false << States{};
}

void BridgeTest::windowCommands()
{
    QFETCH(QByteArray, method);
    QFETCH(bool, withWindow);
    QFETCH(QList<Qt::WindowState>, statesAfterEachCall);
    QMainWindow window;
    window.show();
    DesktopBridge bridge(withWindow ? &window : nullptr, nullptr);
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(call(bridge, method.constData()), QStringLiteral("{\"ok\":true}"));
        if (withWindow)
            QCOMPARE(window.windowState(), statesAfterEachCall.at(round));
    }
    QCOMPARE(window.isVisible(), !(withWindow && method == "windowClose"));
}

// Qt keeps the last value of a repeated key and never frees the first, so a payload that repeats
// one anywhere reads as no object at all; keys are compared as Qt reads them, escapes decoded.
void BridgeTest::parsePayloadObject_refusesRepeatedKeys_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("keys"); // of the object read; 0 for none
    const auto nested = [](int depth) { return QByteArray(depth, '[') + "{}" + QByteArray(depth, ']'); };
    QTest::newRow("repeated at the top") << QByteArray(R"({"a":[1,2],"b":1,"a":0})") << 0;
    QTest::newRow("repeated in escapes") << QByteArray(R"({"dataBase64":"YQ==","\u0064ataBase64":"YWJj"})") << 0;
    QTest::newRow("repeated in an object in an array") << QByteArray(R"({"pages":[1,{"x":{},"x":2}]})") << 0;
    QTest::newRow("repeated before the text goes wrong") << QByteArray(R"({"o":{"k":[9],"k":1},"p":)") << 0;
    QTest::newRow("one key in sibling objects") << QByteArray(R"({"o":{"k":1},"p":{"k":1},"k":[{"k":2}]})") << 3;
    QTest::newRow("keys inside strings") << QByteArray(R"({"a":"\"a\":1,","b":"{\"b\":2}"})") << 2;
    QTest::newRow("keys differing by case or escape") << QByteArray(R"({"a":1,"A":2,"\u00e9":3,"e\u0301":4})") << 4;
    QTest::newRow("nesting Qt reads") << "{\"n\":" + nested(1020) + "}" << 1;
    QTest::newRow("nesting deeper than Qt reads") << "{\"n\":" + nested(1100) + "}" << 0;
}

void BridgeTest::parsePayloadObject_refusesRepeatedKeys()
{
    QFETCH(QByteArray, text);
    QFETCH(int, keys);
    QCOMPARE(parsePayloadObject(QString::fromUtf8(text)).size(), keys);
}

QUILLMARK_TEST_MAIN(BridgeTest)
#include "tst_bridge.moc"
