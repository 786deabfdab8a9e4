#include "data/uDbText.h"

#include "data/uDM.h"
#include "data/uDbInit.h"

#include <QHash>
#include <QRegularExpression>

namespace {
const QString kLocked = QStringLiteral("数据库正被其他程序或其他电脑占用，请稍后重试");
const QString kReadOnly = QStringLiteral("数据库文件为只读，无法保存（请检查文件或文件夹的权限）");
const QString kDiskFull = QStringLiteral("磁盘空间已满，无法保存");
const QString kDamaged = QStringLiteral("数据库文件已损坏");
const QString kDiskError = QStringLiteral("磁盘读写出错，无法保存（请检查磁盘空间及数据库文件所在的磁盘）");
const QString kCannotOpen = QStringLiteral("无法打开数据库文件（请检查文件是否存在、是否被移动或无权访问）");
const QString kOtherLead = QStringLiteral("数据库错误：");
const QString kOutcomeUnknown =
    QStringLiteral("无法确认刚才的操作是否已保存：请在服务器恢复后到台账中核对，切勿重复录入");

QString Key(const QString& table, const QString& column) { return table.toLower() + '.' + column.toLower(); }

// Read once from the schema the database was created with, so a long entry is caught without
// asking the database (which may be locked at that moment).
const QHash<QString, int>& TextLimits() {
    static const QHash<QString, int> limits = [] {
        static const QRegularExpression table(QStringLiteral(R"(^\s*CREATE\s+TABLE\s+(\w+))"),
                                              QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression sized(QStringLiteral(R"((\w+)\s+TEXT\s*\(\s*(\d+)\s*\))"),
                                              QRegularExpression::CaseInsensitiveOption);
        QHash<QString, int> found;
        for (const QString& statement : MovelkarSchema().Statements) {
            const QRegularExpressionMatch t = table.match(statement);
            if (!t.hasMatch()) continue;
            for (auto it = sized.globalMatch(statement); it.hasNext();) {
                const QRegularExpressionMatch c = it.next();
                found.insert(Key(t.captured(1), c.captured(1)), c.captured(2).toInt());
            }
        }
        return found;
    }();
    return limits;
}

// How the windows name the columns a person types into, for the rare refusal that only the
// database itself noticed.
QString ColumnCaption(const QString& column) {
    static const QHash<QString, QString> captions{
        {"carno", "车牌号"},       {"qualitymemo", "粮质备注"}, {"team", "班组"},
        {"abnormalmemo", "异常记录"}, {"destination", "去向"},   {"driver", "司机"},
        {"remark", "备注"},        {"loginname", "登录名"},     {"username", "姓名"},
        {"pwd", "密码"},           {"role", "角色"},            {"grainname", "粮种名称"},
        {"whname", "仓位名称"},    {"whtype", "仓位类型"},      {"equipno", "设备编号"},
        {"model", "型号规格"},     {"opname", "姓名"},          {"phone", "电话"},
        {"name", "姓名/客户"},     {"village", "村组/单位"},    {"idcard", "身份证号"},
        {"address", "住址"},       {"custtype", "客户类型"},    {"post", "岗位"},
        {"status", "状态"},        {"fangear", "风机档位"},     {"batchno", "批次号"},
        {"outno", "出库单号"},     {"settleno", "结算单号"},    {"maintype", "类型"},
    };
    return captions.value(column.toLower(), column);
}

bool HasChinese(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() >= 0x3000 && c.unicode() <= 0x9FFF) return true;
    return false;
}
}  // namespace

namespace {
// A server names its failure by SQLSTATE; what it says about it comes in the message.
QString ServerErrorText(const TDbError& error) {
    const TDbErrorInfo& info = error.Info();
    const QString cls = info.State.left(2);
    if (info.State == "40001" || info.State == "40P01" || info.State == "55P03") return kLocked;
    if (info.State == "53100") return kDiskFull;
    if (info.State == "23505") {
        static const QRegularExpression key(QStringLiteral(R"(Key \((\w+)(?:,|\)))"));
        const QRegularExpressionMatch m = key.match(info.Detail);
        return ColumnCaption(m.hasMatch() ? m.captured(1) : QStringLiteral("编号")) + QStringLiteral("已存在，不能重复");
    }
    if (info.State == "23502") return QStringLiteral("请填写：") + ColumnCaption(info.Column);
    if (info.State == "23514" && info.Constraint.startsWith(info.Table + "_") && info.Constraint.endsWith("_check")) {
        const QString column = info.Constraint.mid(info.Table.size() + 1).chopped(6);
        if (const int limit = TextLimit(info.Table, column); limit > 0)
            return TextTooLongText(ColumnCaption(column), limit);
    }
    if (info.State == "08007") return kOutcomeUnknown;
    // A connection that could not be made says why in its own words; one that broke did not
    // keep what it was doing.
    if ((cls == "08" && !(info.State == "08001" && HasChinese(error.Message()))) || info.State.startsWith("57P"))
        return QStringLiteral("与数据库服务器的连接已断开（请检查网络与服务器），刚才的操作未保存");
    if (info.State == "42501") return QStringLiteral("数据库用户没有这项操作的权限（请联系技术人员检查服务器上的授权）");
    return {};
}
}  // namespace

QString DbErrorText(const TDbError& error) {
    if (!error.Info().State.isEmpty())
        if (const QString text = ServerErrorText(error); !text.isEmpty()) return text;
    return DbErrorText(error.Message());
}

QString DbErrorText(const QString& engineMessage) {
    static const QRegularExpression tooLong(
        QStringLiteral(R"(CHECK constraint failed:\s*length\((\w+)\)\s*<=\s*(\d+))"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression notNull(QStringLiteral(R"(NOT NULL constraint failed:\s*\w+\.(\w+))"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression unique(QStringLiteral(R"(UNIQUE constraint failed:\s*\w+\.(\w+))"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QString lower = engineMessage.toLower();
    if (lower.contains("is locked") || lower.contains("database is busy")) return kLocked;
    if (lower.contains("readonly") || lower.contains("read-only")) return kReadOnly;
    if (lower.contains("disk is full")) return kDiskFull;
    if (lower.contains("malformed") || lower.contains("not a database")) return kDamaged;
    if (lower.contains("disk i/o error")) return kDiskError;
    if (lower.contains("unable to open database file")) return kCannotOpen;
    if (const QRegularExpressionMatch m = tooLong.match(engineMessage); m.hasMatch())
        return TextTooLongText(ColumnCaption(m.captured(1)), m.captured(2).toInt());
    if (const QRegularExpressionMatch m = notNull.match(engineMessage); m.hasMatch())
        return QStringLiteral("请填写：") + ColumnCaption(m.captured(1));
    if (const QRegularExpressionMatch m = unique.match(engineMessage); m.hasMatch())
        return ColumnCaption(m.captured(1)) + QStringLiteral("已存在，不能重复");
    // Our own failures are already worded for the staff.
    if (HasChinese(engineMessage)) return engineMessage;
    return kOtherLead + engineMessage;
}

bool OutcomeUnknown(const TDbError& error) { return error.Info().State == "08007"; }

QString DbFailureText(const QString& failurePrefix, const TDbError& error) {
    return OutcomeUnknown(error) ? kOutcomeUnknown : failurePrefix + DbErrorText(error);
}

int TextLimit(const QString& table, const QString& column) { return TextLimits().value(Key(table, column), 0); }

QString TextLengthRefusal(const QString& table, const QString& column, const QString& caption,
                          const QString& text) {
    const int limit = TextLimit(table, column);
    // The database counts characters, not the UTF-16 units of a QString.
    if (limit <= 0 || text.toUcs4().size() <= limit) return {};
    return TextTooLongText(caption, limit);
}

QString TextTooLongText(const QString& caption, int limit) {
    return QStringLiteral("%1最多 %2 个字").arg(caption).arg(limit);
}

QString ControlCharRefusal(const QString& table, const QString& column, const QString& caption,
                           const QString& text) {
    const bool memo = column.endsWith(QStringLiteral("Memo"), Qt::CaseInsensitive) ||
                      (TextLimit(table, column) == 0 && !column.isEmpty() && !table.isEmpty());
    for (const QChar c : text) {
        if (c.unicode() >= 0x20) continue;
        if (memo && (c == '\t' || c == '\n' || c == '\r')) continue;
        return caption + QStringLiteral("中不能有控制字符（如制表符、换行或不可见字符），请删除后再保存");
    }
    return {};
}

QString TextEntryRefusal(const QString& table, const QString& column, const QString& caption,
                         const QString& text) {
    if (const QString refusal = ControlCharRefusal(table, column, caption, text); !refusal.isEmpty()) return refusal;
    return TextLengthRefusal(table, column, caption, text);
}
