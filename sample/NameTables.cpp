#include "sample/NameTables.h"

#include <iterator>

namespace fw::sample {

namespace {

const NamePiece kCompanies[] = {
    {"华夏", "HX"},     {"易方达", "YFD"},   {"南方", "NF"},     {"嘉实", "JS"},
    {"广发", "GF"},     {"富国", "FG"},      {"汇添富", "HTF"},  {"博时", "BS"},
    {"工银", "GY"},     {"招商", "ZS"},      {"鹏华", "PH"},     {"银华", "YH"},
    {"中欧", "ZO"},     {"景顺长城", "JSCC"}, {"兴全", "XQ"},    {"交银", "JY"},
    {"大成", "DC"},     {"天弘", "TH"},      {"国泰", "GT"},     {"华安", "HA"},
    {"建信", "JX"},     {"农银", "NY"},      {"中银", "ZY"},     {"前海开源", "QHKY"},
    {"诺安", "NA"},     {"长城", "CC"},      {"万家", "WJ"},     {"财通", "CT"},
    {"国投瑞银", "GTRY"}, {"华宝", "HB"},    {"平安", "PA"},     {"永赢", "YY"},
    {"中庚", "ZG"},     {"创金合信", "CJHX"}, {"信达澳亚", "XDAY"}, {"东方", "DF"},
    {"申万菱信", "SWLX"}, {"华泰柏瑞", "HTBR"}, {"泰康", "TK"},  {"浙商", "ZS"},
};

const NamePiece kActiveThemes[] = {
    {"成长", "CZ"},     {"价值", "JZ"},      {"优选", "YX"},     {"精选", "JX"},
    {"新兴产业", "XXCY"}, {"消费升级", "XFSJ"}, {"医疗健康", "YLJK"}, {"新能源", "XNY"},
    {"科技创新", "KJCX"}, {"高端制造", "GDZZ"}, {"核心资产", "HXZC"}, {"红利", "HL"},
    {"量化", "LH"},     {"蓝筹", "LC"},      {"先进制造", "XJZZ"}, {"品质生活", "PZSH"},
    {"创新驱动", "CXQD"}, {"行业轮动", "HYLD"}, {"产业升级", "CYSJ"}, {"远见", "YJ"},
    {"智选", "ZX"},     {"领先", "LX"},      {"新动力", "XDL"},  {"研究精选", "YJJX"},
    {"内需增长", "NXZZ"}, {"港股通", "GGT"},  {"战略新兴", "ZLXX"}, {"数字经济", "SZJJ"},
    {"医药", "YY"},     {"核心优势", "HXYS"}, {"价值发现", "JZFX"}, {"景气驱动", "JQQD"},
    {"先锋", "XF"},     {"国企改革", "GQGG"}, {"军工", "JG"},    {"半导体", "BDT"},
    {"消费", "XF"},     {"科技", "KJ"},      {"稳健成长", "WJCZ"}, {"趋势", "QS"},
    {"策略", "CL"},     {"睿选", "RX"},      {"动力", "DL"},     {"周期", "ZQ"},
    {"制造升级", "ZZSJ"}, {"环保", "HB"},    {"中小盘", "ZXP"},  {"大盘", "DP"},
    {"沪港深", "HGS"},  {"互联网", "HLW"},   {"文体健康", "WTJK"}, {"信息产业", "XXCY"},
    {"低碳环保", "DTHB"}, {"养老", "YL"},    {"创新成长", "CXCZ"}, {"优势企业", "YSQY"},
    {"质量", "ZL"},     {"新经济", "XJJ"},   {"高质量发展", "GZLFZ"}, {"匠心", "JX"},
};

const NamePiece kBalancedThemes[] = {
    {"均衡", "JH"},     {"平衡", "PH"},      {"配置", "PZ"},     {"稳健", "WJ"},
    {"平衡成长", "PHCZ"}, {"安享", "AX"},    {"均衡优选", "JHYX"}, {"睿智", "RZ"},
};

const NamePiece kCautiousThemes[] = {
    {"稳健回报", "WJHB"}, {"安心回报", "AXHB"}, {"添利", "TL"},  {"鑫享", "XX"},
    {"稳进", "WJ"},     {"安盈", "AY"},      {"裕丰", "YF"},     {"恒利", "HL"},
    {"增利", "ZL"},     {"颐和", "YH"},      {"稳健养老", "WJYL"}, {"安泰", "AT"},
};

const NamePiece kBondThemes[] = {
    {"纯债", "CZ"},     {"信用债", "XYZ"},   {"稳健收益", "WJSY"}, {"安心", "AX"},
    {"恒久", "HJ"},     {"鑫利", "XL"},      {"丰利", "FL"},     {"聚利", "JL"},
    {"永利", "YL"},     {"利率债", "LLZ"},   {"国开债", "GKZ"},  {"政金债", "ZJZ"},
    {"稳利", "WL"},     {"季季红", "JJH"},   {"月月享", "YYX"},  {"优化收益", "YHSY"},
};

const NamePiece kShortBondThemes[] = {
    {"中短债", "ZDZ"}, {"短债", "DZ"}, {"短期债", "DQZ"}, {"安鑫短债", "AXDZ"}, {"超短债", "CDZ"},
};

const NamePiece kMixedBondThemes[] = {
    {"双债增强", "SZZQ"}, {"增强回报", "ZQHB"}, {"可转债", "KZZ"}, {"信用增利", "XYZL"},
    {"稳定收益", "WDSY"}, {"添益", "TY"},      {"增强收益", "ZQSY"}, {"多元收益", "DYSY"},
};

const NamePiece kIndexThemes[] = {
    {"沪深300", "HS300"},   {"中证500", "ZZ500"},     {"中证1000", "ZZ1000"},
    {"创业板", "CYB"},      {"科创50", "KC50"},       {"中证白酒", "ZZBJ"},
    {"中证医疗", "ZZYL"},   {"中证新能源汽车", "ZZXNYQC"}, {"中证全指半导体", "ZZQZBDT"},
    {"中证全指证券公司", "ZZQZZQGS"}, {"中证军工", "ZZJG"}, {"中证光伏产业", "ZZGFCY"},
    {"中证银行", "ZZYH"},   {"中证传媒", "ZZCM"},     {"中证红利", "ZZHL"},
    {"上证50", "SZ50"},     {"中证主要消费", "ZZZYXF"}, {"中证煤炭", "ZZMT"},
    {"国证芯片", "GZXP"},   {"中证人工智能", "ZZRGZN"}, {"中证有色金属", "ZZYSJS"},
    {"中证基建", "ZZJJ"},   {"中证食品饮料", "ZZSPYL"}, {"中证生物医药", "ZZSWYY"},
    {"中证智能汽车", "ZZZNQC"}, {"中证稀土产业", "ZZXTCY"}, {"中证环保", "ZZHB"},
    {"中证农业", "ZZNY"},   {"中证畜牧养殖", "ZZXMYZ"}, {"中证新能源", "ZZXNY"},
    {"创业板50", "CYB50"},  {"深证100", "SZ100"},     {"中证800", "ZZ800"},
};

const NamePiece kOverseasThemes[] = {
    {"纳斯达克100", "NSDK100"}, {"标普500", "BP500"},  {"恒生科技", "HSKJ"},
    {"全球医疗保健", "QQYLBJ"}, {"亚洲精选", "YZJX"},  {"海外科技", "HWKJ"},
    {"全球新能源", "QQXNY"},   {"美国消费", "MGXF"},  {"恒生指数", "HSZS"},
    {"中概互联网", "ZGHLW"},   {"全球精选", "QQJX"},  {"德国DAX", "DGDAX"},
};

const SectorSeed kSectors[] = {
    {"保险", "BK0474"},      {"白酒", "BK0896"},      {"新能源车", "BK0900"},   {"半导体", "BK0917"},
    {"第三代半导体", "BK01032"}, {"光伏", "BK0978"},   {"医疗器械", "BK0910"},   {"创新药", "BK01006"},
    {"证券", "BK0473"},      {"银行", "BK0475"},      {"军工", "BK0490"},      {"煤炭", "BK0437"},
    {"有色金属", "BK0478"},  {"稀土永磁", "BK0578"},  {"锂电池", "BK0574"},    {"储能", "BK0989"},
    {"风电", "BK0595"},      {"氢能源", "BK01015"},   {"5G", "BK0714"},        {"人工智能", "BK0800"},
    {"芯片", "BK0891"},      {"云计算", "BK0579"},    {"大数据", "BK0634"},    {"区块链", "BK0830"},
    {"虚拟现实", "BK0666"},  {"元宇宙", "BK01009"},   {"游戏", "BK0486"},      {"传媒", "BK0485"},
    {"教育", "BK0740"},      {"食品饮料", "BK0438"},  {"家用电器", "BK0456"},  {"汽车整车", "BK0481"},
    {"物联网", "BK0554"},    {"工业互联网", "BK0832"}, {"信创", "BK01011"},    {"航天航空", "BK0480"},
    {"船舶制造", "BK0729"},  {"钢铁", "BK0479"},      {"化工", "BK0538"},      {"建材", "BK0476"},
    {"房地产", "BK0451"},    {"基建", "BK0968"},      {"环保", "BK0728"},      {"农牧饲渔", "BK0433"},
    {"猪肉", "BK0882"},      {"中药", "BK0615"},      {"生物疫苗", "BK0548"},  {"医美", "BK01030"},
    {"CXO", "BK01019"},      {"消费电子", "BK01037"}, {"机器人", "BK01090"},   {"数字经济", "BK01099"},
    {"国企改革", "BK0683"},  {"一带一路", "BK0823"},  {"沪港通", "BK0707"},    {"红利", "BK0045"},
    {"黄金", "BK0066"},      {"油气", "BK0098"},      {"电力", "BK0428"},      {"水泥", "BK0424"},
    {"旅游酒店", "BK0487"},  {"港口航运", "BK0450"},
    // Newer sectors carry eight-character codes; they come last (their
    // members are drawn apart, see Market::buildSectors).
    {"光模块", "BK000651"}, {"地产", "BK000045"}, {"算力", "BK001158"}, {"低空经济", "BK001219"},
};

const StockSeed kWellKnown[] = {
    {1, "600519", "贵州茅台"},   {0, "000858", "五粮液"},     {0, "300750", "宁德时代"},
    {1, "600036", "招商银行"},   {1, "601318", "中国平安"},   {1, "601012", "隆基绿能"},
    {0, "002594", "比亚迪"},     {0, "000568", "泸州老窖"},   {0, "000333", "美的集团"},
    {0, "300059", "东方财富"},   {0, "300760", "迈瑞医疗"},   {1, "603259", "药明康德"},
    {1, "600809", "山西汾酒"},   {0, "002475", "立讯精密"},   {1, "688981", "中芯国际"},
    {1, "601899", "紫金矿业"},   {1, "600900", "长江电力"},   {1, "600276", "恒瑞医药"},
    {0, "002415", "海康威视"},   {0, "000651", "格力电器"},   {1, "600030", "中信证券"},
    {0, "300274", "阳光电源"},   {1, "603501", "韦尔股份"},   {1, "600887", "伊利股份"},
    {0, "002714", "牧原股份"},   {116, "00700", "腾讯控股"},  {116, "03690", "美团-W"},
    {116, "09988", "阿里巴巴-W"}, {116, "01810", "小米集团-W"}, {116, "00388", "香港交易所"},
    {116, "02318", "中国平安"},  {116, "00941", "中国移动"},  {116, "01024", "快手-W"},
    {116, "09618", "京东集团-SW"}, {116, "02020", "安踏体育"},
};

const char* const kStockHeads[] = {
    "华光", "东方", "中科", "天马", "金盘", "海德", "新华", "国光", "长江", "恒立", "永新", "大华",
    "宏达", "嘉泽", "安科", "泰达", "瑞丰", "博威", "鼎龙", "汇川", "万通", "信维", "远望", "隆盛",
    "光韵", "航天", "三友", "北方", "南山", "京能", "沪光", "浙数", "粤桂", "川发", "湘佳", "齐鲁",
    "晨光", "科华", "正泰", "华润", "中原", "西部", "山河", "明阳", "星源", "银河", "凯莱", "德赛",
};

const char* const kStockTails[] = {
    "科技", "电子", "股份", "医药", "能源", "材料", "电气", "控股", "智能", "生物",
    "精密", "装备", "化工", "传媒", "环境", "新材", "电力", "药业", "食品", "光电",
    "通信", "软件", "重工", "矿业", "汽车", "物流", "建设", "集团", "信息", "微电",
};

const char* const kSurnames[] = {
    "张", "王", "李", "刘", "陈", "杨", "赵", "黄", "周", "吴", "徐", "孙", "胡", "朱",
    "高", "林", "何", "郭", "马", "罗", "梁", "宋", "郑", "谢", "韩", "唐", "冯", "于",
    "董", "萧", "程", "曹", "袁", "邓", "许", "傅", "沈", "曾", "彭", "吕",
};

const char* const kGivenNames[] = {
    "伟", "芳", "娜", "敏", "静", "磊", "强", "洋", "艳", "勇", "军", "杰", "涛", "明",
    "超", "秀英", "晓东", "志远", "海峰", "文博", "思远", "雨辰", "建华", "立新", "宇航",
    "子健", "嘉怡", "晨阳", "凯文", "一鸣", "雪梅", "国栋", "振宇", "佳琪", "天翊", "梓涵",
};

const char* const kCustodians[] = {
    "中国工商银行股份有限公司", "中国建设银行股份有限公司", "中国银行股份有限公司",
    "中国农业银行股份有限公司", "交通银行股份有限公司", "招商银行股份有限公司",
    "兴业银行股份有限公司", "中信银行股份有限公司",
};

template <size_t N>
PieceList listOf(const NamePiece (&items)[N])
{
    return PieceList{items, N};
}

} // namespace

PieceList companyPieces() { return listOf(kCompanies); }
PieceList activeThemePieces() { return listOf(kActiveThemes); }
PieceList balancedThemePieces() { return listOf(kBalancedThemes); }
PieceList cautiousThemePieces() { return listOf(kCautiousThemes); }
PieceList bondThemePieces() { return listOf(kBondThemes); }
PieceList shortBondThemePieces() { return listOf(kShortBondThemes); }
PieceList mixedBondThemePieces() { return listOf(kMixedBondThemes); }
PieceList indexThemePieces() { return listOf(kIndexThemes); }
PieceList overseasThemePieces() { return listOf(kOverseasThemes); }

const SectorSeed* sectorSeeds(size_t& count)
{
    count = std::size(kSectors);
    return kSectors;
}

const StockSeed* wellKnownStocks(size_t& count)
{
    count = std::size(kWellKnown);
    return kWellKnown;
}

const char* const* stockNameHeads(size_t& count)
{
    count = std::size(kStockHeads);
    return kStockHeads;
}

const char* const* stockNameTails(size_t& count)
{
    count = std::size(kStockTails);
    return kStockTails;
}

const char* const* surnames(size_t& count)
{
    count = std::size(kSurnames);
    return kSurnames;
}

const char* const* givenNames(size_t& count)
{
    count = std::size(kGivenNames);
    return kGivenNames;
}

const char* const* custodians(size_t& count)
{
    count = std::size(kCustodians);
    return kCustodians;
}

} // namespace fw::sample
