/*
 * A stand-in system tray for window tests on a bare X server (Xvfb): it
 * takes the tray selection of its screen, so programs see a system tray
 * and dock their icons, and it ignores the dock requests. It prints
 * "ready" once it owns the selection and ends when its X connection
 * closes or on SIGTERM.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <xcb/xcb.h>

static xcb_atom_t intern(xcb_connection_t* connection, const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, (uint16_t)strlen(name), name),
      NULL);
  xcb_atom_t atom = reply != NULL ? reply->atom : XCB_ATOM_NONE;
  free(reply);
  return atom;
}

int main(void) {
  int screen_number = 0;
  xcb_connection_t* connection = xcb_connect(NULL, &screen_number);
  if (xcb_connection_has_error(connection)) {
    fprintf(stderr, "tray_host: cannot connect to the X server\n");
    return 1;
  }
  xcb_screen_iterator_t screens =
      xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screen_number; ++i) xcb_screen_next(&screens);
  xcb_screen_t* screen = screens.data;

  char selection_name[32];
  snprintf(selection_name, sizeof selection_name, "_NET_SYSTEM_TRAY_S%d",
           screen_number);
  const xcb_atom_t selection = intern(connection, selection_name);
  const xcb_atom_t manager = intern(connection, "MANAGER");

  const xcb_window_t owner = xcb_generate_id(connection);
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, owner, screen->root, 0,
                    0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen->root_visual, 0, NULL);
  xcb_set_selection_owner(connection, owner, selection, XCB_CURRENT_TIME);

  /* Tell programs already waiting for a tray that one is there. */
  xcb_client_message_event_t announce;
  memset(&announce, 0, sizeof announce);
  announce.response_type = XCB_CLIENT_MESSAGE;
  announce.format = 32;
  announce.window = screen->root;
  announce.type = manager;
  announce.data.data32[0] = XCB_CURRENT_TIME;
  announce.data.data32[1] = selection;
  announce.data.data32[2] = owner;
  xcb_send_event(connection, 0, screen->root,
                 XCB_EVENT_MASK_STRUCTURE_NOTIFY, (const char*)&announce);
  xcb_flush(connection);

  printf("ready\n");
  fflush(stdout);

  xcb_generic_event_t* event;
  while ((event = xcb_wait_for_event(connection)) != NULL) free(event);
  xcb_disconnect(connection);
  return 0;
}
