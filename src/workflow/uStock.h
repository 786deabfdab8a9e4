#pragma once
// The stock window: what lies in which position, every stock movement, and the warnings for
// positions that are (nearly) full and for grain lying beyond its free storage days.

#include "data/uValue.h"

#include <QHash>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class QTableView;
class TDM;
class TQueryModel;

// Every stock row with what it still holds, newest first; position 0 means all positions.
// With onlyRemaining, only the live rows that still hold grain.
TSqlText LiveStockQuery(TDbEngine engine, int whId, const QString& batchText, bool onlyRemaining);
// The movement journal, newest first.
TSqlText StockMoveQuery(TDbEngine engine, const QString& batchText);

class TStockWarnLogic {
public:
    explicit TStockWarnLogic(TDM& dm) : dm_(dm) {}

    // Both sections of the warnings text. Storage ages count from the start of `today`.
    QStringList Lines(const QDate& today) const;
    // Every position with a capacity, marked at 90 % of it and more.
    QStringList CapacityLines() const;
    // Live grain kept longer than its grain's free storage days, oldest first.
    QStringList OverStoredLines(const QDate& today) const;

private:
    // What the live rows hold per position, and the lines of those kept too long.
    struct TLiveFigures {
        QHash<int, double> Used;
        QStringList OverStored;
    };
    TLiveFigures ScanLive(const QDate& today) const;
    QStringList CapacityLines(const TLiveFigures& live) const;

    TDM& dm_;
};

class TfrmStock : public QWidget {
    Q_OBJECT
public:
    enum TPage { PageStock, PageMove, PageWarn };

    TfrmStock(TDM& dm, QWidget* owner = nullptr);

    // Refreshes the page in view; the others keep their content until they are shown.
    void RefreshAll();
    void RefreshStock();
    void RefreshMove();
    void RefreshWarn();
    // Shows the page and refreshes it.
    void ShowPage(TPage page);

    QComboBox* cbWh = nullptr;
    QCheckBox* chkRemain = nullptr;
    QLineEdit* edBatch = nullptr;
    QTabWidget* pages = nullptr;
    QTableView* stockGrid = nullptr;
    QTableView* moveGrid = nullptr;
    QPlainTextEdit* mmWarn = nullptr;
    TQueryModel* Stock() const { return stock_; }
    TQueryModel* Moves() const { return moves_; }

private:
    void BuildUI();

    TDM& dm_;
    TQueryModel* stock_ = nullptr;
    TQueryModel* moves_ = nullptr;
};

// Shows the one stock window (creating it on first use) and refreshes the page in view.
void OpenStock(TDM& dm, QWidget* owner = nullptr);
// The same window, on its warnings page.
void OpenStockWarn(TDM& dm, QWidget* owner = nullptr);
