#include "core/forms/DialogButtons.h"

#include <QBoxLayout>
#include <QPushButton>

namespace velmaris {

TDialogButtons AddDialogButtons(QBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  TDialogButtons b{new QPushButton(QStringLiteral("OK")), new QPushButton(QStringLiteral("Cancel")),
                   new QPushButton(QStringLiteral("Apply"))};
  b.OK->setObjectName("Button3");
  b.Cancel->setObjectName("Button2");
  b.Apply->setObjectName("bApply");
  for (QPushButton* button : {b.OK, b.Cancel, b.Apply}) row->addWidget(button);
  layout->addLayout(row);
  return b;
}

TDialogButtons AddDialogButtons(QBoxLayout* layout, QObject* owner,
                                const TDialogHandlers& handlers) {
  const TDialogButtons b = AddDialogButtons(layout);
  QObject::connect(b.OK, &QPushButton::clicked, owner, handlers.OK);
  QObject::connect(b.Cancel, &QPushButton::clicked, owner, handlers.Cancel);
  QObject::connect(b.Apply, &QPushButton::clicked, owner, handlers.Apply);
  return b;
}

}  // namespace velmaris
