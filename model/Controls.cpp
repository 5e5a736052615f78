#include "model/Controls.h"

#include <array>
#include <cstddef>

namespace fw {

namespace {

constexpr std::array<ControlInfo, kControlCount> kControls = {{
    {Window::Main, "高级表格1"},
    {Window::Main, "高级表格2"},
    {Window::Main, "标签1"},
    {Window::Main, "标签2"},
    {Window::Main, "高级表格3"},
    {Window::Main, "高级表格4"},
    {Window::Main, "分组框1"},
    {Window::Main, "超级列表框2"},
    {Window::Main, "搜索框"},
    {Window::Main, "超级列表框1"},
    {Window::Main, "画板1"},
    {Window::Main, "标签8"},
    {Window::Main, "标签5"},
    {Window::Main, "标签6"},
    {Window::Main, "外形框1"},
    {Window::Main, "超文本浏览框1"},
    {Window::Main, "图片框1"},
    {Window::Main, "五星基金钮"},
    {Window::Main, "选择板块钮"},
    {Window::Main, "刷步钮"},
    {Window::Main, "导出所有数据钮"},
    {Window::Main, "单选框1"},
    {Window::Main, "单选框2"},
    {Window::Main, "单选框3"},
    {Window::Main, "单选框4"},
    {Window::Main, "选择框1"},
    {Window::Main, "选择框2"},
    {Window::Main, "按钮1"},
    {Window::Main, "按钮2"},
    {Window::Main, "按钮3"},
    {Window::Main, "按钮4"},
    {Window::Main, "按钮5"},
    {Window::Main, "按钮6"},
    {Window::Main, "按钮7"},
    {Window::Main, "菜单"},
    {Window::Main, "菜单1"},
    {Window::Main, "菜单2"},
    {Window::Main, "菜单3"},
    {Window::Main, "标签估算"},
    {Window::Main, "持仓钮"},
    {Window::Main, "提醒钮"},

    {Window::Sector, "标签1"},
    {Window::Sector, "按钮1"},
    {Window::Sector, "按钮2"},
    {Window::Sector, "按钮3"},
    {Window::Sector, "按钮4"},
    {Window::Sector, "标签模板"},

    {Window::Step, "分组框1"},
    {Window::Step, "标签1"},
    {Window::Step, "小米账号框"},
    {Window::Step, "标签2"},
    {Window::Step, "小米密码框"},
    {Window::Step, "标签3"},
    {Window::Step, "目标步数框"},
    {Window::Step, "标签6"},
    {Window::Step, "按钮1"},
    {Window::Step, "标签4"},

    {Window::Portfolio, "持仓表格"},
    {Window::Portfolio, "持仓代码框"},
    {Window::Portfolio, "持仓份额框"},
    {Window::Portfolio, "持仓成本价框"},
    {Window::Portfolio, "添加持仓钮"},
    {Window::Portfolio, "刷新钮"},
    {Window::Portfolio, "持仓提示"},

    {Window::Portfolio, "记账标签页"},
    {Window::Portfolio, "账户框"},
    {Window::Portfolio, "持仓明细表格"},
    {Window::Portfolio, "记账刷新钮"},
    {Window::Portfolio, "记账提示"},
    {Window::Portfolio, "持仓数据库提示"},
    {Window::Portfolio, "备份日期框"},
    {Window::Portfolio, "恢复备份钮"},
    {Window::Portfolio, "交易表格"},
    {Window::Portfolio, "交易类型框"},
    {Window::Portfolio, "交易代码框"},
    {Window::Portfolio, "交易金额框"},
    {Window::Portfolio, "交易份额框"},
    {Window::Portfolio, "交易日期框"},
    {Window::Portfolio, "交易时间框"},
    {Window::Portfolio, "交易费率框"},
    {Window::Portfolio, "交易账户框"},
    {Window::Portfolio, "交易备注框"},
    {Window::Portfolio, "添加交易钮"},
    {Window::Portfolio, "修改交易钮"},
    {Window::Portfolio, "删除交易钮"},
    {Window::Portfolio, "收益日历表格"},
    {Window::Portfolio, "日历月份框"},
    {Window::Portfolio, "日历合计"},
    {Window::Portfolio, "走势图"},
    {Window::Portfolio, "基准代码框"},
    {Window::Portfolio, "定投表格"},
    {Window::Portfolio, "定投代码框"},
    {Window::Portfolio, "定投金额框"},
    {Window::Portfolio, "定投费率框"},
    {Window::Portfolio, "定投账户框"},
    {Window::Portfolio, "定投周期框"},
    {Window::Portfolio, "定投日框"},
    {Window::Portfolio, "定投开始框"},
    {Window::Portfolio, "添加定投钮"},
    {Window::Portfolio, "删除定投钮"},
    {Window::Portfolio, "准确度表格"},
    {Window::Portfolio, "准确度说明"},
    {Window::Portfolio, "今日走势选择"},
    {Window::Portfolio, "今日走势图"},
    {Window::Portfolio, "今日走势提示"},
}};

} // namespace

const ControlInfo& controlInfo(Control control) { return kControls[static_cast<size_t>(control)]; }

Control boardControl(int board)
{
    static constexpr Control boards[] = {Control::BoardDayGain, Control::BoardMonthGain, Control::BoardDayLoss,
                                         Control::BoardMonthLoss};
    return boards[(board < 1 || board > 4) ? 0 : board - 1];
}

Control periodControl(int button)
{
    static constexpr Control buttons[] = {Control::Period1, Control::Period2, Control::Period3, Control::Period4,
                                          Control::Period5, Control::Period6, Control::Period7};
    return buttons[(button < 1 || button > 7) ? 0 : button - 1];
}

} // namespace fw
