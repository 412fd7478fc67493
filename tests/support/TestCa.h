#pragma once

#include <QString>

namespace testsupport {

// A throw-away certificate authority made with openssl for TLS tests: "ca.pem"
// (trust this one), and "server.pem" with "server.key" for "localhost" and
// 127.0.0.1, signed by it, written into a directory.
struct TestCa
{
    QString caFile;
    QString certificateFile;
    QString keyFile;

    // Creates the files in directory. On failure returns false and sets *error.
    [[nodiscard]] bool create(const QString &directory, QString *error);
};

} // namespace testsupport
