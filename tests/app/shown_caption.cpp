#include "shown_caption.hpp"

#include <QGuiApplication>
#include <QWindow>

#if TAURASW_TEST_X11
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace taurasw::testing {

#if TAURASW_TEST_X11
namespace {

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  const ReplyPtr<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(
          connection,
          xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
      &std::free);
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

QString X11Caption(QWidget& window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr) return QStringLiteral("<no X11 connection>");
  const auto id = static_cast<xcb_window_t>(window.winId());
  const ReplyPtr<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(connection,
                             xcb_get_property(connection, 0, id, Atom(connection, "_NET_WM_NAME"),
                                              Atom(connection, "UTF8_STRING"), 0, 1024),
                             nullptr),
      &std::free);
  if (!reply) return QStringLiteral("<no _NET_WM_NAME>");
  return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           xcb_get_property_value_length(reply.get()));
}

}  // namespace
#endif

QString ShownCaption(QWidget& window) {
#if TAURASW_TEST_X11
  if (QGuiApplication::platformName() == QLatin1String("xcb")) return X11Caption(window);
#endif
  const QWindow* handle = window.windowHandle();
  return handle != nullptr ? handle->title() : window.windowTitle();
}

}  // namespace taurasw::testing
