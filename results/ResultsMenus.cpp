// The results window's menus and tool bar.
#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>

#include "results/CurveChartView.h"
#include "results/RecordsPage.h"
#include "results/ResultsWindow.h"

namespace voltrex::results {

void ResultsWindow::BuildMenus() {
    QStyle* style = QApplication::style();
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* open = file->addAction(style->standardIcon(QStyle::SP_DirOpenIcon),
                                    tr("&Open Folder..."), this, &ResultsWindow::ChooseFolder);
    open->setShortcut(QKeySequence::Open);
    QAction* reload = file->addAction(style->standardIcon(QStyle::SP_BrowserReload), tr("&Reload"),
                                      this, &ResultsWindow::Reload);
    reload->setShortcut(QKeySequence::Refresh);
    file->addSeparator();
    exportPng_ = file->addAction(style->standardIcon(QStyle::SP_DialogSaveButton),
                                 tr("Export Chart as &PNG..."), this,
                                 [this] { ExportChartClicked(ChartFormat::Png); });
    exportPng_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    exportSvg_ = file->addAction(tr("Export Chart as &SVG..."), this,
                                 [this] { ExportChartClicked(ChartFormat::Svg); });
    exportSvg_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    exportCsv_ = file->addAction(tr("Export Checked Curves as &CSV..."), this,
                                 &ResultsWindow::ExportCsvClicked);
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    const QString tabNames[] = {tr("&Records"), tr("Capacity &History"), tr("C&urves")};
    for (int tab = 0; tab < 3; ++tab) {
        QAction* action =
            view->addAction(tabNames[tab], this, [this, tab] { tabs_->setCurrentIndex(tab); });
        action->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + tab)));
    }
    view->addSeparator();
    QAction* findAction = view->addAction(tr("&Find Records"), this, [this] {
        tabs_->setCurrentIndex(RecordsTab);
        recordsPage_->Find();
    });
    findAction->setShortcut(QKeySequence::Find);
    QAction* time = view->addAction(tr("Curves Against &Time"), this, [this] {
        AgainstTime()->setChecked(true);
        tabs_->setCurrentIndex(CurvesTab);
    });
    time->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    QAction* charge = view->addAction(tr("Curves Against &Charge"), this, [this] {
        AgainstCharge()->setChecked(true);
        tabs_->setCurrentIndex(CurvesTab);
    });
    charge->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    resetZoom_ =
        view->addAction(tr("Show the &Whole Chart"), this, [this] { Curves()->ResetZoom(); });
    resetZoom_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));

    QMenu* pack = menuBar()->addMenu(tr("&Pack"));
    showCurves_ = pack->addAction(tr("Show &Curves of Selected Records"), this,
                                  &ResultsWindow::ShowCurvesClicked);
    pack->addAction(tr("Capacity &History of This Pack"), this, &ResultsWindow::ShowHistoryClicked);
    pack->addSeparator();
    renamePack_ =
        pack->addAction(tr("&Name This Pack..."), this, &ResultsWindow::RenamePackClicked);
    renamePack_->setShortcut(QKeySequence(Qt::Key_F2));
    putIntoPack_ = pack->addAction(tr("&Put Selected Records into Pack..."), this,
                                   &ResultsWindow::PutIntoPackClicked);
    takeOut_ = pack->addAction(tr("&Take Selected Records out of Their Pack"), this,
                               &ResultsWindow::TakeOutOfPackClicked);
    pack->addSeparator();
    packReport_ =
        pack->addAction(QIcon::fromTheme(QStringLiteral("document-print")),
                        tr("Pack &Report\u2026"), this, &ResultsWindow::PackReportClicked);
    packReport_->setShortcut(QKeySequence::Print);
    packLabel_ = pack->addAction(tr("Pack &Label\u2026"), this, &ResultsWindow::PackLabelClicked);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&About Voltrex II Results"), this, &ResultsWindow::AboutClicked);

    QToolBar* tools = addToolBar(tr("Main"));
    tools->setObjectName(QStringLiteral("MainToolBar"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tools->addAction(open);
    tools->addAction(reload);
    tools->addSeparator();
    tools->addAction(exportPng_);
    tools->addAction(exportSvg_);
    tools->addAction(exportCsv_);
}

}  // namespace voltrex::results
