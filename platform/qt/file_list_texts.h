// The file chooser's list as the program's language writes it: Qt's own list dates and sizes
// by the session's locale, so under a plain C session the months came out English.
#pragma once

#include <QIdentityProxyModel>

class FileListTexts : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;
};
