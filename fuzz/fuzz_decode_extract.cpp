// libFuzzer target for the receive path: decoding a message and writing its
// attachments. Any crash, sanitizer report or file outside the folder is a finding.
#include "maillib/AttachmentExtractor.h"
#include "maillib/MimeDecoder.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

QString workFolder()
{
    static const QString folder = [] {
        char pattern[] = "/tmp/glimra-fuzz-XXXXXX";
        const char *made = ::mkdtemp(pattern);
        if (!made)
            std::abort();
        return QString::fromLocal8Bit(made);
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    const maillib::DecodedMail mail = maillib::decodeMail(raw);
    if (!mail.multipart && mail.body != mail.text)
        std::abort();

    const QString folder = workFolder();
    const maillib::ExtractionResult result = maillib::extractAttachments(raw, folder);
    for (const QString &path : result.writtenFiles) {
        const QFileInfo info(path);
        if (info.absolutePath() != folder || info.fileName().startsWith(u'.') || !info.isFile() || info.isSymLink())
            std::abort();
    }
    // Nothing but the files reported may appear; clear the folder for the next input.
    QDir dir(folder);
    const QStringList present = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (present.size() != result.writtenFiles.size())
        std::abort();
    for (const QString &name : present)
        dir.remove(name);
    return 0;
}
