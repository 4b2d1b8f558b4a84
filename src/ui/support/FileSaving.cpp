// Whole-file saves through QSaveFile.

#include "support/FileSaving.h"

#include <QSaveFile>

namespace kestrova {

void SaveFileContents(const std::string &fileName, const std::string &bytes)
{
    QSaveFile file(QString::fromStdString(fileName));
    const auto fail = [&](const char *what) {
        const std::string reason = file.errorString().toStdString();
        file.cancelWriting();
        throw EInOutError(std::string(what) + " file \"" + fileName + "\". " + reason);
    };
    if (!file.open(QIODevice::WriteOnly))
        fail("Cannot create");
    const auto size = static_cast<qint64>(bytes.size());
    // The buffer is flushed and checked here: commit() alone has been seen to report success
    // after a short write (a full disk, a file size limit), replacing the file with a torso.
    if (file.write(bytes.data(), size) != size || !file.flush())
        fail("Cannot write");
    if (!file.commit())
        fail("Cannot write");
}

} // namespace kestrova
