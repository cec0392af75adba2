// The results window's commands that ask the user first: the file dialogs,
// the names of packs, the messages.
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabWidget>

#include "results/CapacityChart.h"
#include "results/PackReport.h"
#include "results/Plural.h"
#include "results/RecordsPage.h"
#include "results/ResultsWindow.h"
#include "results/Widgets.h"

namespace voltrex::results {

QString ResultsWindow::SaveName(const QString& title, const QString& fileName,
                                const QString& filter) {
    return QFileDialog::getSaveFileName(this, title, QDir(folder_).filePath(fileName), filter);
}

void ResultsWindow::ShowError(const QString& text) {
    QMessageBox::critical(this, windowTitle(), text);
}

void ResultsWindow::ChooseFolder() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Open a Voltrex II Folder"), folder_.isEmpty() ? QDir::homePath() : folder_);
    if (!folder.isEmpty()) {
        OpenFolder(folder);
    }
}

void ResultsWindow::ExportChartClicked(ChartFormat format) {
    const bool png = format == ChartFormat::Png;
    const QString extension = png ? QStringLiteral("png") : QStringLiteral("svg");
    const QString name = CurrentChart() == Capacity()
                             ? QStringLiteral("capacity-%1.%2")
                                   .arg(FileNameOf(Capacity()->chart()->title()), extension)
                             : QStringLiteral("curves.%1").arg(extension);
    const QString path =
        png ? SaveName(tr("Export Chart as PNG"), name, tr("PNG pictures (*.png)"))
            : SaveName(tr("Export Chart as SVG"), name, tr("SVG drawings (*.svg)"));
    QString error;
    if (!path.isEmpty() && !ExportChart(format, path, error)) {
        ShowError(tr("The chart could not be saved as %1: %2").arg(path, error));
    }
}

void ResultsWindow::ExportCsvClicked() {
    const QString path = SaveName(tr("Export Checked Curves as CSV"), QStringLiteral("curves.csv"),
                                  tr("Comma-separated values (*.csv)"));
    QString error;
    if (!path.isEmpty() && !ExportCurvesCsv(path, error)) {
        ShowError(tr("The curves could not be saved as %1: %2").arg(path, error));
    }
}

void ResultsWindow::RenamePackClicked() {
    const QString packId = CurrentPackId();
    const std::optional<std::size_t> index = Grouping().Find(Std(packId));
    if (!index) {
        return;
    }
    const Pack& pack = Grouping().Packs[*index];
    QString label = tr("A name for the pack %1 (empty for its cell type, capacity and cells):")
                        .arg(Text(pack.Name));
    if (!pack.Key) {
        label = tr("A new name for the pack %1, whose records you put together (empty gives "
                   "them back to their default packs):")
                    .arg(Text(pack.Name));
    }
    bool ok = false;
    const QString name = QInputDialog::getText(this, tr("Name Pack"), label, QLineEdit::Normal,
                                               pack.Named ? Text(pack.Name) : QString(), &ok);
    QString error;
    if (ok && !RenamePack(packId, name, error)) {
        ShowError(error);
    }
}

void ResultsWindow::PutIntoPackClicked() {
    const std::vector<std::size_t> lines = SelectedLines();
    if (lines.empty()) {
        return;
    }
    QStringList existing;
    for (const Pack& pack : Grouping().Packs) {
        if (pack.Named) {
            existing << Text(pack.Name);
        }
    }
    bool ok = false;
    const QString name = QInputDialog::getItem(
        this, tr("Put into Pack"),
        tr("The pack of the selected records (%1); a new name starts a pack:")
            .arg(Counted(static_cast<long long>(lines.size()), "record", "records")),
        existing, 0, true, &ok);
    QString error;
    if (ok && !CleanName(Std(name)).empty() && !PutIntoPack(lines, name, error)) {
        ShowError(error);
    }
}

void ResultsWindow::TakeOutOfPackClicked() {
    QString error;
    const std::vector<std::size_t> lines = SelectedLines();
    if (!lines.empty() && !PutIntoPack(lines, QString(), error)) {
        ShowError(error);
    }
}

void ResultsWindow::ShowCurvesClicked() {
    std::vector<std::size_t> lines = SelectedLines();
    if (lines.empty()) {
        if (const std::optional<std::size_t> line = recordsPage_->CurrentLine()) {
            lines.push_back(*line);
        }
    }
    if (!lines.empty()) {
        ShowCurvesOfLines(lines);
    }
}

void ResultsWindow::ShowHistoryClicked() {
    const QString packId = CurrentPackId();
    if (!packId.isEmpty()) {
        ShowPackHistory(packId);
    } else {
        tabs_->setCurrentIndex(CapacityTab);
    }
}

void ResultsWindow::PackReportClicked() {
    const QString packId = CurrentPackId();
    if (!packId.isEmpty()) {
        const std::string id = Std(packId);
        ShowReportDialog(this, PackReportOf(model_, id, model_.Names().PackNote(id),
                                            model_.HealthSettingsOf(id)));
    }
}

void ResultsWindow::PackLabelClicked() {
    // The packs of the selected records, each once; else the current pack.
    std::vector<std::string> ids;
    for (const std::size_t line : SelectedLines()) {
        const std::string id = model_.PackOfLine(line);
        if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end()) {
            ids.push_back(id);
        }
    }
    if (ids.size() < 2) {
        ids = {Std(CurrentPackId())};
    }
    std::vector<PackReport> packs;
    for (const std::string& id : ids) {
        if (!id.empty()) {
            packs.push_back(
                PackReportOf(model_, id, model_.Names().PackNote(id), model_.HealthSettingsOf(id)));
        }
    }
    ShowLabelDialog(this, packs);
}

void ResultsWindow::AboutClicked() {
    QMessageBox::about(
        this, tr("About Voltrex II Results"),
        tr("<h3>Voltrex II Results 1.0</h3>"
           "<p>The records of a Voltrex II folder: every finished discharge and charge in "
           "Voltrex2.csv, each pack's capacity over time, and the curves of its tests "
           "(curves/) overlaid.</p>"
           "<p>It reads the main program's files and never writes them; pack names are kept in "
           "Voltrex2Results.ini beside them.</p>"
           "<p>Free software under the GNU General Public License, version 3 or later.</p>"));
}

}  // namespace voltrex::results
