#include "DesktopBridge.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
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

QJsonObject parsedReply(const QString &reply)
{
    return QJsonDocument::fromJson(reply.toUtf8()).object();
}

} // namespace

class BridgeTest : public QObject
{
    Q_OBJECT

public:
    IsolatedUserState *userState = nullptr;

private slots:
    void methodTable_matchesPublishedSignatures();
    void metaObject_hasNothingButInvokables();
    void invokeByName_reachesEveryParameterlessCommand();
    void parsePayloadObject_data();
    void parsePayloadObject();
    void makeOkReply_data();
    void makeOkReply();
    void makeErrorReply_data();
    void makeErrorReply();
    void windowMaximize_togglesBetweenMaximizedAndNormal();
    void windowMinimize_minimizesTheWindow();
    void windowClose_closesTheWindowAndStillReplies();
    void windowCommands_withoutWindow_replyOk();
    void webChannel_publishesTheMethodsAndAnswersCalls();
};

void BridgeTest::methodTable_matchesPublishedSignatures()
{
    struct Entry { const char *name; QList<QByteArray> parameters; };
    const QList<Entry> expected = {
        {"windowMinimize", {}},        {"windowMaximize", {}}, {"windowClose", {}},
        {"openProject", {"path"}},     {"openProject", {}},    {"saveProject", {"payloadJson"}},
        {"savePrintPdf", {"payloadJson"}}, {"pickSpreadsheet", {}}, {"readSpreadsheet", {"path"}},
        {"listLocalFonts", {}},        {"listPrinters", {}},   {"submitPrintJob", {"payloadJson"}},
        {"printerOptions", {"printerName"}},
    };
    const QMetaObject &meta = DesktopBridge::staticMetaObject;
    QCOMPARE(meta.methodCount() - meta.methodOffset(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        QCOMPARE(method.name(), QByteArray(expected[i].name));
        QCOMPARE(method.parameterNames(), expected[i].parameters);
        for (int p = 0; p < method.parameterCount(); ++p)
            QCOMPARE(method.parameterType(p), int(QMetaType::QString));
        QCOMPARE(method.returnType(), int(QMetaType::QString));
        QCOMPARE(method.methodType(), QMetaMethod::Method);
        QCOMPARE(method.access(), QMetaMethod::Public);
    }
    QVERIFY(meta.method(meta.methodOffset() + 4).attributes() & QMetaMethod::Cloned);
}

void BridgeTest::metaObject_hasNothingButInvokables()
{
    const QMetaObject &meta = DesktopBridge::staticMetaObject;
    QCOMPARE(meta.className(), "DesktopBridge");
    QCOMPARE(meta.superClass(), &QObject::staticMetaObject);
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    QCOMPARE(meta.enumeratorCount(), meta.enumeratorOffset());
    QCOMPARE(meta.classInfoCount(), meta.classInfoOffset());
}

void BridgeTest::invokeByName_reachesEveryParameterlessCommand()
{
    DesktopBridge bridge(nullptr, nullptr);
    for (const char *name : {"windowMinimize", "windowMaximize", "windowClose", "listLocalFonts", "listPrinters"}) {
        QString reply;
        QVERIFY2(QMetaObject::invokeMethod(&bridge, name, Q_RETURN_ARG(QString, reply)), name);
        QVERIFY2(parsedReply(reply).value(QStringLiteral("ok")).isBool(), name);
    }
}

void BridgeTest::parsePayloadObject_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QJsonObject>("expected");
    QTest::addRow("array") << "[1,2]" << QJsonObject();
    QTest::addRow("empty text") << "" << QJsonObject();
    QTest::addRow("malformed") << "{\"a\":" << QJsonObject();
    QTest::addRow("a number") << "42" << QJsonObject();
    QTest::addRow("object with one key") << "{\"名称\":\"货架\"}" << QJsonObject{{"名称", "货架"}};
}

void BridgeTest::parsePayloadObject()
{
    QFETCH(QString, text);
    QFETCH(QJsonObject, expected);
    QCOMPARE(::parsePayloadObject(text), expected);
}

void BridgeTest::makeOkReply_data()
{
    QTest::addColumn<QJsonObject>("object");
    QTest::addColumn<QString>("expected");
    QTest::addRow("nothing to report") << QJsonObject() << "{\"ok\":true}";
    QTest::addRow("ok false is replaced") << QJsonObject{{"ok", false}} << "{\"ok\":true}";
    QTest::addRow("result keys kept, compact") << QJsonObject{{"path", "/tmp/标签.cwrt"}, {"n", 2}}
                                               << "{\"n\":2,\"ok\":true,\"path\":\"/tmp/标签.cwrt\"}";
}

void BridgeTest::makeOkReply()
{
    QFETCH(QJsonObject, object);
    QFETCH(QString, expected);
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.makeOkReply(object), expected);
}

void BridgeTest::makeErrorReply_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    QTest::addRow("empty message") << "" << "{\"error\":\"\",\"ok\":false}";
    QTest::addRow("chinese message") << "无法读取文件" << "{\"error\":\"无法读取文件\",\"ok\":false}";
    QTest::addRow("quotes are escaped") << "a \"b\"" << "{\"error\":\"a \\\"b\\\"\",\"ok\":false}";
}

void BridgeTest::makeErrorReply()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.makeErrorReply(message), expected);
}

void BridgeTest::windowMaximize_togglesBetweenMaximizedAndNormal()
{
    QMainWindow window;
    window.show();
    DesktopBridge bridge(&window, &window);
    QCOMPARE(bridge.windowMaximize(), QStringLiteral("{\"ok\":true}"));
    QVERIFY(window.isMaximized());
    QCOMPARE(bridge.windowMaximize(), QStringLiteral("{\"ok\":true}"));
    QVERIFY(!window.isMaximized());
    QVERIFY(window.isVisible());
}

void BridgeTest::windowMinimize_minimizesTheWindow()
{
    QMainWindow window;
    window.show();
    DesktopBridge bridge(&window, &window);
    QCOMPARE(bridge.windowMinimize(), QStringLiteral("{\"ok\":true}"));
    QVERIFY(window.isMinimized());
}

void BridgeTest::windowClose_closesTheWindowAndStillReplies()
{
    QMainWindow window;
    window.show();
    DesktopBridge bridge(&window, &window);
    QCOMPARE(bridge.windowClose(), QStringLiteral("{\"ok\":true}"));
    QVERIFY(!window.isVisible());
}

void BridgeTest::windowCommands_withoutWindow_replyOk()
{
    DesktopBridge bridge(nullptr, nullptr);
    QCOMPARE(bridge.windowMinimize(), QStringLiteral("{\"ok\":true}"));
    QCOMPARE(bridge.windowMaximize(), QStringLiteral("{\"ok\":true}"));
    QCOMPARE(bridge.windowClose(), QStringLiteral("{\"ok\":true}"));
}

void BridgeTest::webChannel_publishesTheMethodsAndAnswersCalls()
{
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
    const QJsonArray methods = transport.responseTo(1)
                                   .value("data").toObject()
                                   .value("desktopBridge").toObject()
                                   .value("methods").toArray();
    QHash<QString, int> indexOf;
    for (const QJsonValue &method : methods)
        indexOf.insert(method.toArray().at(0).toString(), method.toArray().at(1).toInt());
    for (const char *name : {"windowMinimize", "windowMaximize", "windowClose", "openProject", "openProject(QString)",
                             "openProject()", "saveProject", "savePrintPdf", "pickSpreadsheet", "readSpreadsheet",
                             "listLocalFonts", "listPrinters", "submitPrintJob"})
        QVERIFY2(indexOf.contains(QString::fromLatin1(name)), name);

    transport.deliver({{"type", Invoke}, {"id", 2}, {"object", "desktopBridge"},
                       {"method", indexOf.value("windowMaximize")}, {"args", QJsonArray()}});
    QTRY_VERIFY(!transport.responseTo(2).isEmpty());
    QCOMPARE(transport.responseTo(2).value("type").toInt(), int(Response));
    QCOMPARE(transport.responseTo(2).value("data").toString(), QStringLiteral("{\"ok\":true}"));
    QVERIFY(window.isMaximized());
}

QUILLMARK_TEST_MAIN(BridgeTest)
#include "tst_bridge.moc"
