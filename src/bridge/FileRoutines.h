// The bridge's routines that need no window, dialog or settings: payload parsing, the reply
// envelope and moving file contents as Base64 text. The commands, the tests and the fast
// fuzzer share them through this header; the page reaches them only through DesktopBridge.
#pragma once

#include <QJsonObject>
#include <QString>

class FileLinks;

// Turns a command's payload text into an object; anything but a JSON object gives {}, and so
// does an object that names a key twice (see RepeatedKeys.h).
QJsonObject parsePayloadObject(const QString &text);

// The reply envelope: the result with "ok" true (replacing any "ok" it held), or "ok" false
// and "error" beside any details; both as compact JSON.
QString makeOkReply(const QJsonObject &object);
QString makeErrorReply(const QString &message, const QJsonObject &details = QJsonObject());

// One web channel message holds at most this many UTF-16 characters: past it the
// channel's binary JSON refuses the document and the page's call never completes.
constexpr qint64 channelMessageCeilingChars = 64 * 1024 * 1024;
// Room kept in a file reply for the envelope, the file's path and its name.
constexpr qint64 replyReserveChars = 64 * 1024;
// Largest file that fits in a file reply: its Base64 text takes 4 characters per 3 bytes.
constexpr qint64 maxTransferBytes = (channelMessageCeilingChars - replyReserveChars) / 4 * 3;

// The file's bytes as Base64 text; empty when it is not a readable, non-empty regular file
// within maxTransferBytes.
QString readFileBase64(const QString &path);
// The reply for a file that was read: "path", "name" and "dataBase64", or "无法读取文件".
QString fileReply(const QString &path);
// The reply for a file the page reads by its address: "path", "name", "size" and "url" (granted
// once in links), for the same files as fileReply; else "无法读取文件".
QString fileLinkReply(const QString &path, FileLinks &links);
// Decodes the text leniently and writes the bytes; returns the error message, empty on success.
QString writeBase64File(const QString &path, const QString &base64Text);
// The path with the suffix appended unless it already ends with it, in any letter case.
QString ensureSuffix(const QString &path, const QString &suffix);

// What saveProject and savePrintPdf read from their payloads; a key of another JSON type
// than its own gives the default, and only a JSON true asks for the dialog.
struct SaveRequest
{
    QString suggestedName;
    QString currentPath;
    bool saveAs = false;
    QString base64Text;
};
SaveRequest readProjectSaveRequest(const QString &payloadJson);
SaveRequest readPdfSaveRequest(const QString &payloadJson);
