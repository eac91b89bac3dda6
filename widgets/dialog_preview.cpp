#include "widgets/dialog_preview.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "resources/display_strings.h"
#include "widgets/display_text.h"
#include "widgets/report_ctrl.h"

namespace camfleet {

CDialogPreview::CDialogPreview(CReportCtrl* list)
    : QWidget(list->viewport()), list_(list), web_(new QToolButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    SetCaptionKey(web_, DisplayKey("PREVIEW_WEB"));
    SetToolTipKey(web_, DisplayKey("PREVIEW_WEB_TIP"));
    web_->setAutoRaise(false);
    web_->setCursor(Qt::PointingHandCursor);
    layout->addWidget(web_);
    connect(web_, &QToolButton::clicked, this, [this] {
        if (row_ >= 0)
            emit webClicked(row_);
    });
    connect(list, &CReportCtrl::hoveredRowChanged, this, &CDialogPreview::ShowForRow);
    hide();
}

void CDialogPreview::ShowForRow(int sourceRow) {
    const QRect rect = list_->RowRect(sourceRow);
    row_ = rect.isEmpty() ? -1 : sourceRow;
    if (row_ < 0) {
        hide();
        return;
    }
    const int height = rect.height() - 2;
    web_->setFixedHeight(height);
    adjustSize();
    const int x = list_->viewport()->width() - width() - 4;
    move(x, rect.top() + 1);
    show();
    raise();
}

}  // namespace camfleet
