#include "app/window/player_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/controller/status_texts.h"
#include "app/widgets/background_view.h"
#include "app/widgets/custom_slider.h"
#include "app/widgets/custom_text_field_cell.h"
#include "app/widgets/lcd_time_view.h"
#include "app/widgets/led_control.h"
#include "app/widgets/mode_indicators.h"
#include "app/window/transport_icons.h"

namespace pelmora {

using app::Command;

namespace {

QLabel* smallLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() * 0.8);
  label->setFont(font);
  return label;
}

}  // namespace

PlayerWindow::PlayerWindow(const QString& application_name, QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(application_name);
  setAcceptDrops(true);
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(makeDisplay());
  playlist_host_ = new QWidget(central);
  playlist_host_->setObjectName("playlistHost");
  playlist_host_->setLayout(new QVBoxLayout);
  playlist_host_->layout()->setContentsMargins(0, 0, 0, 0);
  playlist_host_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  column->addWidget(playlist_host_, 1);
  setCentralWidget(central);
  makeMenus(application_name);
  resize(780, 560);
}

// The panel above the playlist, on the light ground.
QWidget* PlayerWindow::makeDisplay() {
  auto* ground = new BackgroundView(this);
  auto* grid = new QGridLayout(ground);
  grid->setContentsMargins(12, 10, 12, 8);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(6);

  grid->addWidget(makeTransport(), 0, 0, Qt::AlignLeft | Qt::AlignVCenter);

  auto* clock = new QHBoxLayout;
  time_view_ = new LCDTimeView(ground);
  clock->addWidget(time_view_);
  auto* indicators = new QVBoxLayout;
  repeat_indicator_ = new RepeatModeIndicator(ground);
  shuffle_indicator_ = new ShuffleModeIndicator(ground);
  indicators->addWidget(repeat_indicator_);
  indicators->addWidget(shuffle_indicator_);
  clock->addLayout(indicators);
  grid->addLayout(clock, 0, 1, Qt::AlignCenter);

  auto* device = new QVBoxLayout;
  device->addWidget(smallLabel(tr("Output device"), ground));
  device_box_ = new QComboBox(ground);
  device_box_->setMinimumContentsLength(18);
  device_box_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  // A wheel turned over the box on the way elsewhere must not switch the device.
  device_box_->setFocusPolicy(Qt::StrongFocus);
  device_box_->installEventFilter(this);
  device->addWidget(device_box_);
  grid->addLayout(device, 0, 2, Qt::AlignRight | Qt::AlignVCenter);

  slider_ = new CustomSlider(ground);
  grid->addWidget(slider_, 1, 0, 1, 3);

  grid->addWidget(makeLights(), 2, 0, 1, 2, Qt::AlignLeft);
  time_status_ = new QLabel(ground);
  time_status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(time_status_, 2, 2, Qt::AlignRight);

  signal_path_ = new QLabel(ground);
  signal_path_->setObjectName("signalPath");
  signal_path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(signal_path_, 3, 0, 1, 3);

  status_field_ = new CustomTextFieldCell(ground);
  grid->addWidget(status_field_, 4, 0, 1, 3);
  grid->setColumnStretch(1, 1);
  return ground;
}

QWidget* PlayerWindow::makeTransport() {
  auto* box = new QWidget(this);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(4);
  const QColor ink = palette().color(QPalette::WindowText);
  const struct {
    Command command;
    TransportSymbol symbol;
    const char* tip;
  } kButtons[] = {
      {Command::Previous, TransportSymbol::Previous, "Previous"}, {Command::Play, TransportSymbol::Play, "Play"},
      {Command::Pause, TransportSymbol::Pause, "Pause"},          {Command::Stop, TransportSymbol::Stop, "Stop"},
      {Command::Next, TransportSymbol::Next, "Next"},
  };
  for (const auto& b : kButtons) {
    auto* button = new QToolButton(box);
    button->setIcon(transportIcon(b.symbol, ink, 22));
    button->setIconSize(QSize(22, 22));
    button->setToolTip(tr(b.tip));
    button->setAccessibleName(tr(b.tip));
    button->setAutoRaise(true);
    row->addWidget(button);
    buttons_[b.command] = button;
  }
  return box;
}

QWidget* PlayerWindow::makeLights() {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(10);
  grid->setVerticalSpacing(1);
  for (int i = 0; i < kLightCount; ++i) {
    auto* light = new LEDControl(box);
    lights_[static_cast<size_t>(i)] = light;
    const QString caption = i == 0 ? tr("PLAY") : QString(app::kFormatLightNames[i - 1]);
    light->setAccessibleName(caption);
    grid->addWidget(light, 0, i, Qt::AlignHCenter);
    grid->addWidget(smallLabel(caption, box), 1, i, Qt::AlignHCenter);
  }
  return box;
}

QAction* PlayerWindow::addCommand(QMenu* menu, Command command, const QString& text, const QKeySequence& shortcut) {
  QAction* action = menu->addAction(text);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  actions_[command] = action;
  return action;
}

void PlayerWindow::makeMenus(const QString& name) {
  QMenu* application = menuBar()->addMenu(name);
  addCommand(application, Command::About, tr("About %1").arg(name));
  application->addSeparator();
  addCommand(application, Command::Preferences, tr("Preferences..."), QKeySequence::Preferences);
  application->addSeparator();
  hide_ = application->addAction(tr("Hide %1").arg(name));
  addCommand(application, Command::Quit, tr("Quit %1").arg(name), QKeySequence::Quit);

  QMenu* file = menuBar()->addMenu(tr("&File"));
  addCommand(file, Command::Open, tr("Open..."), QKeySequence::Open);
  addCommand(file, Command::OpenCd, tr("Open Audio CD..."));
  file->addSeparator();
  addCommand(file, Command::NewPlaylist, tr("New Playlist"), QKeySequence::New);
  addCommand(file, Command::LoadPlaylist, tr("Load Playlist..."));
  addCommand(file, Command::SavePlaylist, tr("Save Playlist..."), QKeySequence::Save);
  file->addSeparator();
  addCommand(file, Command::AddFiles, tr("Add Files..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
  // The table takes the Delete key itself, where a selection is.
  addCommand(file, Command::Remove, tr("Remove"));

  QMenu* controls = menuBar()->addMenu(tr("&Controls"));
  addCommand(controls, Command::Play, tr("Play"), QKeySequence(Qt::CTRL | Qt::Key_Return));
  addCommand(controls, Command::Pause, tr("Pause"), QKeySequence(Qt::CTRL | Qt::Key_P));
  addCommand(controls, Command::Stop, tr("Stop"), QKeySequence(Qt::CTRL | Qt::Key_Period));
  addCommand(controls, Command::Previous, tr("Previous"), QKeySequence(Qt::CTRL | Qt::Key_Left));
  addCommand(controls, Command::Next, tr("Next"), QKeySequence(Qt::CTRL | Qt::Key_Right));
  controls->addSeparator();
  addCommand(controls, Command::Shuffle, tr("Shuffle"))->setCheckable(true);
  QMenu* order = controls->addMenu(tr("Order"));
  order_group_ = new QActionGroup(this);
  order_group_->setExclusive(true);
  for (auto [command, text] : {std::pair{Command::OrderDefault, tr("In Order")},
                               std::pair{Command::OrderRepeatTitle, tr("Repeat Title")},
                               std::pair{Command::OrderRepeatAll, tr("Repeat All")}}) {
    QAction* action = addCommand(order, command, text);
    action->setCheckable(true);
    order_group_->addAction(action);
  }
  for (auto command : {Command::Play, Command::Pause, Command::Stop}) action(command)->setCheckable(true);
}

void PlayerWindow::closeEvent(QCloseEvent* event) {
  if (closing_allowed_) {
    event->accept();
    return;
  }
  event->ignore();
  emit closeRequested();
}

bool PlayerWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == device_box_ && event->type() == QEvent::Wheel && !device_box_->hasFocus()) {
    event->ignore();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

void PlayerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void PlayerWindow::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  emit filesDropped(paths);
}

}  // namespace pelmora
