// SPDX-License-Identifier: MIT
// Input as a user's would arrive, for the Plasma session of test-desktops:
// KWin's fake-input protocol, so that Plasma itself handles every click and
// key and sends every call that follows. Words on the command line, in order:
//   move X Y     the pointer to X,Y on the screen
//   click        the left button, pressed and released
//   type WORD    the letters a-z of WORD
//   enter        the Enter key
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>
#include "fake-input-client-protocol.h"

static struct org_kde_kwin_fake_input *fake;

static void announced(void *data, struct wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}

static void withdrawn(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener listener = {announced, withdrawn};

// KWin ends a button's pointer frame only with the next motion, and Qt
// holds the button until the frame ends: a motion of nothing ends it.
static void button(struct wl_display *display, uint32_t state)
{
    org_kde_kwin_fake_input_button(fake, BTN_LEFT, state);
    org_kde_kwin_fake_input_pointer_motion(fake, 0, 0);
    wl_display_roundtrip(display);
}

static void key(struct wl_display *display, uint32_t code)
{
    org_kde_kwin_fake_input_keyboard_key(fake, code, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(fake, code, WL_KEYBOARD_KEY_STATE_RELEASED);
    wl_display_roundtrip(display);
}

static uint32_t letterKey(char letter)
{
    static const uint32_t keys[26] = {
        KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
        KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z,
    };
    if (letter < 'a' || letter > 'z') {
        fprintf(stderr, "fake-input: cannot type '%c'\n", letter);
        exit(2);
    }
    return keys[letter - 'a'];
}

static const char *argument(int argc, char **argv, int i)
{
    if (i >= argc) {
        fprintf(stderr, "fake-input: '%s' needs an argument\n", argv[i - 1]);
        exit(2);
    }
    return argv[i];
}

int main(int argc, char **argv)
{
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "fake-input: no Wayland display\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (!fake) {
        fprintf(stderr, "fake-input: the compositor offers no fake input of version 4\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fake, "Pellix desktop test", "acts as the user of a test session");
    for (int i = 1; i < argc; ++i) {
        const char *word = argv[i];
        if (strcmp(word, "move") == 0) {
            const int x = atoi(argument(argc, argv, ++i));
            const int y = atoi(argument(argc, argv, ++i));
            org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_int(x), wl_fixed_from_int(y));
            wl_display_roundtrip(display);
        } else if (strcmp(word, "click") == 0) {
            button(display, WL_POINTER_BUTTON_STATE_PRESSED);
            button(display, WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (strcmp(word, "type") == 0) {
            for (const char *letter = argument(argc, argv, ++i); *letter; ++letter)
                key(display, letterKey(*letter));
        } else if (strcmp(word, "enter") == 0) {
            key(display, KEY_ENTER);
        } else {
            fprintf(stderr, "fake-input: unknown word '%s'\n", word);
            return 2;
        }
    }
    wl_display_disconnect(display);
    return 0;
}
