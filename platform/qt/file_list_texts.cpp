#include "platform/qt/file_list_texts.h"

#include <QFileSystemModel>
#include <QLocale>

namespace {

// The file system model's columns.
constexpr int kSizeColumn = 1;
constexpr int kDateColumn = 3;

} // namespace

QVariant FileListTexts::data(const QModelIndex& index, int role) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (!files || role != Qt::DisplayRole ||
        (index.column() != kSizeColumn && index.column() != kDateColumn))
        return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    if (index.column() == kDateColumn)
        return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
    // A folder has no size, as in Qt's own list.
    return files->isDir(source) ? QString() : QLocale().formattedDataSize(files->size(source));
}
