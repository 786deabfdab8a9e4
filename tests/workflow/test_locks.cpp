#include "WorkflowCase.h"
#include "forms/uCrud.h"
#include "forms/uDefs.h"


namespace {
const QString kLocked = QStringLiteral("数据库正被其他程序或其他电脑占用，请稍后重试");

// The same centre with a second computer on the same database. This station gives up waiting
// for the other after a fifth of a second instead of several seconds: the same refusal, sooner.
struct TTwoStations {
    TTestCentre c{Roles::Admin};
    TDM other{c.paths().Database()};
    bool server = c.dm().Engine() == TDbEngine::PostgreSQL;
    TTwoStations() {
        other.Connect();
        c.dm().ExecSQLP(server ? "SET lock_timeout='200ms'" : "PRAGMA busy_timeout=200");
    }
    int written() { return c.count("T_Batch") + c.count("T_Stock") + c.count("T_Drying") + c.count("T_Log"); }
    // The other computer is in the middle of registering a load: on the file its save holds the
    // whole database, on the server today's batch numbering.
    void otherRegistering() {
        other.BeginTrans();
        if (server) other.NextNo("PC", "T_Batch", "BatchNo");
    }
    // Another program holds the tables for itself (on the server: a maintenance job).
    void otherHoldsEverything() {
        if (!server) {
            other.ExecSQLP("BEGIN EXCLUSIVE");
            return;
        }
        other.BeginTrans();
        other.ExecSQLP("LOCK TABLE T_Batch, T_Farmer, T_Grain, T_Wh, T_Equip, T_Operator, T_FeeStd, T_Stock, "
                       "T_Drying IN ACCESS EXCLUSIVE MODE");
    }
};

}  // namespace

TEST(Locks, ASaveRefusedWhileAnotherComputerWritesSucceedsAfterAndDialogsThatCannotReadSayWhy) {
    TTwoStations s;
    TBatchLogic logic(s.c.dm());
    const TBatchInput in = Load(s.c.addFarmer("张三"));
    const int before = s.written();

    // Another computer is in the middle of a save.
    s.otherRegistering();
    EXPECT_EQ(logic.Save(in).Refusal, "保存失败：" + kLocked);
    EXPECT_EQ(s.written(), before);

    // Another computer is still reading when this save wants to commit: its statements had run,
    // yet nothing of them may stay behind. (A server's readers never hold up a save.)
    s.other.RollbackTrans();
    if (!s.server) {
        TStatement reading = s.other.NewQuery("SELECT FarmerID FROM T_Farmer");
        ASSERT_TRUE(reading.Next());
        EXPECT_EQ(logic.Save(in).Refusal, "保存失败：" + kLocked);
        EXPECT_FALSE(s.c.dm().InTransaction());
    }
    EXPECT_EQ(s.written(), before);

    const TBatchSaveResult saved = logic.Save(in);
    ASSERT_TRUE(saved.Saved()) << saved.Refusal.toStdString();
    EXPECT_EQ(saved.BatchNo, "PC" + Today() + "001") << "the refused saves used up no number";
    EXPECT_EQ(s.c.batchRows("T_Stock", saved.BatchNo, "Qty,Status"), "10000/待烘干");
    EXPECT_EQ(s.c.logActions(), QStringList{"收粮登记"});

    // The intake dialog keeps what was typed through a lock and saves it on the retry.
    TTestPrompter prompter;
    const int farmer = s.c.addFarmer("李四");
    TfrmBatchEdit dlg(s.c.dm(), {});
    dlg.edCar->setText("苏A12345");
    SetComboID(dlg.cbFarmer, farmer);
    SetComboID(dlg.cbGrain, 1);
    SetComboID(dlg.cbWh, 1);
    dlg.edMoisture->setText("１８");
    dlg.edGross->setText("12000");
    dlg.edTare->setText("2000");

    s.otherRegistering();
    dlg.DoOK();
    EXPECT_EQ(prompter.LastText(), "保存失败：" + kLocked);
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(s.c.count("T_Batch"), 1);

    s.other.RollbackTrans();
    dlg.DoOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(s.c.batchRows("T_Batch", dlg.BatchNo(), "FarmerID,CarNo,InMoisture,WetNetWt,EstFee"),
              QString("%1/苏A12345/18/10000/1440").arg(farmer))
        << "the input kept through the lock is what is saved";

    // Dialogs whose lists cannot be read say why instead of opening.
    prompter.Clear();
    TfrmBatchList ledger(s.c.dm());
    TfrmDrying jobs(s.c.dm());
    jobs.Reload();
    ASSERT_FALSE(jobs.CurrentBatchNo().isEmpty());
    TfrmCrud fees(s.c.dm(), DefFeeStd());
    fees.BuildUI();

    // Another program holds the whole file: not even the lookup lists can be read.
    s.otherHoldsEverything();
    TModalCloser closer;
    ledger.DoNew();
    EXPECT_EQ(prompter.LastText(), "无法打开登记窗口：" + kLocked);
    jobs.DoDispatch();
    EXPECT_EQ(prompter.LastText(), "无法打开派工窗口：" + kLocked);
    fees.AddButton()->click();
    EXPECT_EQ(prompter.LastText(), "无法打开编辑窗口：" + kLocked);
    EXPECT_FALSE(closer.Opened());
    EXPECT_EQ(prompter.Shown.size(), 3u);
    s.other.RollbackTrans();
}
