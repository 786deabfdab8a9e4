#include "GenNames.h"

#include <QDate>

namespace {
const QStringList kSurnames = QString::fromUtf8(
    "王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 韩 冯 邓 曹 彭 曾 肖 田 董 袁 潘 于 蒋 "
    "蔡 余 杜 叶 程 苏 魏 吕 丁 任 沈 姚 卢 姜 崔 钟 谭 陆 汪 范 金 石 廖 贾 夏 韦 方 白 邹 孟 熊 秦 邱 江 尹 薛 段 雷 侯 "
    "龙 史 陶 黎 贺 顾 毛 郝 龚 邵 万 钱 严 武 戴 莫 孔 汤")
                                  .split(' ');
const QStringList kGiven = QString::fromUtf8(
    "建 国 华 明 军 强 伟 平 芳 秀 英 兰 玉 珍 红 春 海 林 成 德 福 贵 荣 富 山 水 田 生 家 文 志 永 祥 宝 忠 金 银 "
    "长 友 发 新 胜 利 庆 云 凤 桂 花 梅 丽 霞 群 琴 松 柏 刚 勇 杰 涛 斌 波 辉 鹏 磊 龙 飞 东 南 西 北 广 学 才 顺 "
    "安 保 全 根 树 财 喜 来 亮")
                                .split(' ');
const QStringList kVillages = QString::fromUtf8(
    "红旗 东风 新华 幸福 光明 胜利 和平 建设 前进 团结 永安 太平 长青 丰收 兴隆 富民 金桥 石桥 柳河 杨庄 李庄 王庄 "
    "张湾 刘集 陈圩 高店 马桥 周岗 吴楼 孙岗 徐庄 朱湖 胡集 郭塘 何湾 沈湾 黄墩 赵河 钱桥 冯庄 小河 大桥 新庄 双塘")
                                  .split(' ');
const QStringList kTowns =
    QString::fromUtf8("城关 双河 三塔 白云 青山 新集 马店 杨集 古城 官桥 孙集 龙岗").split(' ');
const QStringList kProvinces = QString::fromUtf8("皖 苏 豫 鲁 鄂 赣").split(' ');
const QStringList kBuyers = QString::fromUtf8(
    "县粮食储备库 丰源面粉厂 金穗米业 恒达饲料厂 市中心粮库 华宇粮贸 正大饲料 绿野米厂 益海粮油 本地粮站")
                                .split(' ');
const QStringList kQuality = QString::fromUtf8(
    "籽粒饱满 杂质偏高 有少量霉变粒 水分不均 含青粒较多 色泽正常 有虫蚀粒 破碎率偏高").split(' ');
const QStringList kReDry = QString::fromUtf8(
    "水分不均，返烘 出机水分偏高 局部未干透 二次烘干 温度不足，返烘 降水不达标").split(' ');
const QStringList kVoidBefore = QString::fromUtf8(
    "登记错误，重新登记 农户选错 粮种登记错误 重复登记 客户取消代烘 皮重录入错误").split(' ');
const QStringList kVoidAfter = QString::fromUtf8(
    "客户要求退回湿粮，按协议作废 批次合并到其他单据 误登记，已与客户核对 质量纠纷，协商作废").split(' ');
const QStringList kFaults = QString::fromUtf8(
    "热风炉熄火，停机检修 提升机卡料 排粮轮故障 温度传感器失灵 风机皮带断裂 电机过热跳闸").split(' ');
const QStringList kMaint = QString::fromUtf8(
    "清理除尘、紧固螺栓 润滑轴承、检查皮带 检查燃烧器、清理烟道 全面保养").split(' ');
const QStringList kRepair = QString::fromUtf8(
    "更换排粮电机 修复提升机斗 更换温控仪表 焊补烘干塔体 更换风机轴承").split(' ');
const QStringList kParts = QString::fromUtf8("更换传送皮带 更换滤网 更换燃烧器喷嘴 更换水分仪探头").split(' ');
const char* const kPlateChars = "0123456789ABCDEFGHJKLMNPQRSTUVWXYZ";

QString Digits(TGenRandom& r, int n) {
    QString s;
    for (int i = 0; i < n; ++i) s += QChar('0' + r.Int(0, 9));
    return s;
}
}  // namespace

QString PersonName(TGenRandom& r) {
    QString name = r.Pick(kSurnames) + r.Pick(kGiven);
    if (r.Chance(0.7)) name += r.Pick(kGiven);
    return name;
}

QString VillageName(TGenRandom& r) { return r.Pick(kVillages) + QStringLiteral("村"); }

QString TownName(TGenRandom& r) { return r.Pick(kTowns) + QStringLiteral("镇"); }

QString Plate(TGenRandom& r) {
    QString p = r.Pick(kProvinces) + QChar('A' + r.Int(0, 17));
    for (int i = 0; i < 5; ++i) p += QChar(kPlateChars[r.Int(0, i < 2 ? 33 : 9)]);
    return p;
}

QString Phone(TGenRandom& r) {
    static const char* const kSecond = "35789";
    return QStringLiteral("1") + QChar(kSecond[r.Int(0, 4)]) + Digits(r, 9);
}

QString IdCard(TGenRandom& r) {
    const QDate birth = QDate(1950, 1, 1).addDays(r.Int(0, 50 * 365));
    const QString body = QStringLiteral("34") + Digits(r, 4) + birth.toString("yyyyMMdd") + Digits(r, 3);
    static const int kWeights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    static const char* const kCheck = "10X98765432";
    int sum = 0;
    for (int i = 0; i < 17; ++i) sum += (body[i].unicode() - '0') * kWeights[i];
    return body + QChar(kCheck[sum % 11]);
}

QString SaleDestination(TGenRandom& r) { return r.Pick(kBuyers); }
QString QualityMemo(TGenRandom& r) { return r.Pick(kQuality); }
QString ReDryMemo(TGenRandom& r) { return r.Pick(kReDry); }
QString VoidReason(TGenRandom& r, bool beforeDrying) { return r.Pick(beforeDrying ? kVoidBefore : kVoidAfter); }
QString FaultMemo(TGenRandom& r) { return r.Pick(kFaults); }

QString MaintContent(TGenRandom& r, const QString& type) {
    if (type == QStringLiteral("维修")) return r.Pick(kRepair);
    if (type == QStringLiteral("耗材更换")) return r.Pick(kParts);
    return r.Pick(kMaint);
}
