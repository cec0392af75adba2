#pragma once

#include <QSortFilterProxyModel>
#include <QString>

namespace voltrex::results {

// Which rows of the records table are shown, and in what order: by pack, by
// mode and by a text found anywhere in the row (in an unreadable line's text
// too). An unreadable line belongs to no pack and no mode: it shows while no
// pack or mode is chosen, so the file's problems are never out of sight by
// default.
class RecordsFilter : public QSortFilterProxyModel {
    Q_OBJECT

  public:
    explicit RecordsFilter(QObject* parent = nullptr);

    // Empty: every pack, or every mode.
    void SetPack(const QString& packId);
    void SetMode(const QString& mode);
    void SetText(const QString& text);
    const QString& Pack() const { return pack_; }

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

  private:
    QString pack_;
    QString mode_;
    QString text_;
};

}  // namespace voltrex::results
