/* Watches a rectangle of an X screen for bench/user_waits.sh: how long after
 * a key (sent here through XTEST, or after a given start time) the rectangle
 * shows what a reference picture of it shows.
 *
 *   screen_probe grab FILE X Y W H
 *       writes the rectangle as a binary PPM
 *   screen_probe settle X Y W H QUIET_MS TIMEOUT_MS
 *       waits until the rectangle has not changed for QUIET_MS
 *   screen_probe key KEY
 *       sends a key ("n", "plus", "minus", "F11", "ctrl+a", "alt+space", ...)
 *   screen_probe wait FILE X Y W H TIMEOUT_MS (KEY | --since NANOSECONDS)
 *       sends the key (or takes the given CLOCK_REALTIME time as the start),
 *       then prints the milliseconds until the rectangle equals FILE
 *   screen_probe hold X Y W H KEY PRESSES INTERVAL_MS TIMEOUT_MS FINAL REF...
 *       holds the key down as the X server repeats a held key (PRESSES
 *       presses INTERVAL_MS apart, each repeat a release and a press) while
 *       watching the rectangle;
 *       prints how many times it changed to another of the reference
 *       pictures from the first press to the last, that span in ms, and the
 *       ms from the last press until it shows REF number FINAL (from 0)
 *
 * Exit status 0 on success, 1 on timeout or error.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <time.h>

static Display* display;
static XImage* image;
static XShmSegmentInfo shm;
static int rx, ry, rw, rh;

static double now_ms(clockid_t clock)
{
    struct timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void open_region(int x, int y, int w, int h)
{
    rx = x, ry = y, rw = w, rh = h;
    int screen = DefaultScreen(display);
    image = XShmCreateImage(display, DefaultVisual(display, screen), (unsigned)DefaultDepth(display, screen),
                            ZPixmap, NULL, &shm, (unsigned)w, (unsigned)h);
    if (!image) {
        fprintf(stderr, "screen_probe: no shared-memory image\n");
        exit(1);
    }
    shm.shmid = shmget(IPC_PRIVATE, (size_t)image->bytes_per_line * (size_t)h, IPC_CREAT | 0600);
    shm.shmaddr = image->data = shmat(shm.shmid, NULL, 0);
    shm.readOnly = False;
    XShmAttach(display, &shm);
    XSync(display, False);
    shmctl(shm.shmid, IPC_RMID, NULL);   /* removed once both sides detach */
}

static void close_region(void)
{
    XShmDetach(display, &shm);
    XDestroyImage(image);
    shmdt(shm.shmaddr);
}

/* The rectangle's pixels, 3 bytes each (red, green, blue), into out. A
 * 32-bit screen is read directly, others pixel by pixel. */
static void read_region(unsigned char* out)
{
    XShmGetImage(display, DefaultRootWindow(display), image, rx, ry, AllPlanes);
    const int direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst && image->red_mask == 0xFF0000 &&
                       image->green_mask == 0xFF00 && image->blue_mask == 0xFF;
    for (int y = 0; y < rh; ++y) {
        const uint32_t* row = (const uint32_t*)(image->data + (size_t)y * (size_t)image->bytes_per_line);
        for (int x = 0; x < rw; ++x) {
            unsigned long p = direct ? row[x] : XGetPixel(image, x, y);
            *out++ = (unsigned char)(p >> 16);
            *out++ = (unsigned char)(p >> 8);
            *out++ = (unsigned char)p;
        }
    }
}

static unsigned char* read_ppm(const char* path, int w, int h)
{
    FILE* f = fopen(path, "rb");
    int fw = 0, fh = 0, max = 0;
    if (!f || fscanf(f, "P6 %d %d %d", &fw, &fh, &max) != 3 || fw != w || fh != h || max != 255 || fgetc(f) == EOF) {
        fprintf(stderr, "screen_probe: %s is not a %dx%d PPM\n", path, w, h);
        exit(1);
    }
    unsigned char* pixels = malloc((size_t)w * h * 3);
    if (fread(pixels, 3, (size_t)w * h, f) != (size_t)w * h)
        exit(1);
    fclose(f);
    return pixels;
}

/* Presses (down) or lets go of (up) a key without modifiers. */
static void key_event(const char* name, Bool down)
{
    KeySym sym = XStringToKeysym(name);
    if (sym == NoSymbol) {
        fprintf(stderr, "screen_probe: unknown key %s\n", name);
        exit(1);
    }
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), down, 0);
    XFlush(display);
}

static void send_key(const char* spec)
{
    char copy[64];
    snprintf(copy, sizeof copy, "%s", spec);
    char* key = copy;
    KeyCode held[3];
    int count = 0;
    for (;;) {
        KeySym modifier = NoSymbol;
        if (strncmp(key, "ctrl+", 5) == 0)
            modifier = XK_Control_L, key += 5;
        else if (strncmp(key, "alt+", 4) == 0)
            modifier = XK_Alt_L, key += 4;
        else if (strncmp(key, "shift+", 6) == 0)
            modifier = XK_Shift_L, key += 6;
        if (modifier == NoSymbol || count == 3)
            break;
        held[count++] = XKeysymToKeycode(display, modifier);
    }
    KeySym sym = XStringToKeysym(key);
    if (sym == NoSymbol) {
        fprintf(stderr, "screen_probe: unknown key %s\n", key);
        exit(1);
    }
    KeyCode code = XKeysymToKeycode(display, sym);
    for (int i = 0; i < count; ++i)
        XTestFakeKeyEvent(display, held[i], True, 0);
    XTestFakeKeyEvent(display, code, True, 0);
    XTestFakeKeyEvent(display, code, False, 0);
    for (int i = count - 1; i >= 0; --i)
        XTestFakeKeyEvent(display, held[i], False, 0);
    XFlush(display);
}

int main(int argc, char** argv)
{
    display = XOpenDisplay(NULL);
    if (!display || argc < 2) {
        fprintf(stderr, "usage: see the comment at the top of screen_probe.c\n");
        return 1;
    }
    const char* command = argv[1];
    if (strcmp(command, "key") == 0 && argc == 3) {
        send_key(argv[2]);
        return 0;
    }
    if (strcmp(command, "grab") == 0 && argc == 7) {
        open_region(atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]));
        unsigned char* pixels = malloc((size_t)rw * rh * 3);
        read_region(pixels);
        FILE* f = fopen(argv[2], "wb");
        fprintf(f, "P6\n%d %d\n255\n", rw, rh);
        fwrite(pixels, 3, (size_t)rw * rh, f);
        fclose(f);
        close_region();
        return 0;
    }
    if (strcmp(command, "settle") == 0 && argc == 8) {
        open_region(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
        const double quiet = atof(argv[6]), timeout = atof(argv[7]);
        size_t size = (size_t)rw * rh * 3;
        unsigned char *last = malloc(size), *next = malloc(size);
        read_region(last);
        double start = now_ms(CLOCK_MONOTONIC), since = start;
        while (now_ms(CLOCK_MONOTONIC) - since < quiet) {
            if (now_ms(CLOCK_MONOTONIC) - start > timeout)
                return 1;
            struct timespec pause = {0, 5000000};
            nanosleep(&pause, NULL);
            read_region(next);
            if (memcmp(last, next, size) != 0) {
                memcpy(last, next, size);
                since = now_ms(CLOCK_MONOTONIC);
            }
        }
        close_region();
        return 0;
    }
    if (strcmp(command, "wait") == 0 && (argc == 9 || argc == 10)) {
        open_region(atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), atoi(argv[6]));
        const double timeout = atof(argv[7]);
        size_t size = (size_t)rw * rh * 3;
        unsigned char* want = read_ppm(argv[2], rw, rh);
        unsigned char* seen = malloc(size);
        double start;
        if (strcmp(argv[8], "--since") == 0 && argc == 10) {
            /* The start was taken by the caller on the wall clock. */
            start = now_ms(CLOCK_MONOTONIC) - (now_ms(CLOCK_REALTIME) - atof(argv[9]) / 1e6);
        } else {
            start = now_ms(CLOCK_MONOTONIC);
            send_key(argv[8]);
        }
        for (;;) {
            read_region(seen);
            const double elapsed = now_ms(CLOCK_MONOTONIC) - start;
            if (memcmp(seen, want, size) == 0) {
                printf("%.1f\n", elapsed);
                close_region();
                return 0;
            }
            if (elapsed > timeout) {
                printf("timeout\n");
                return 1;
            }
            /* A short rest between looks: spinning would take a processor
             * (and the X server's time) from the program watched. */
            struct timespec rest = {0, 1000000};
            nanosleep(&rest, NULL);
        }
    }
    if (strcmp(command, "hold") == 0 && argc >= 12) {
        open_region(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
        const char* key = argv[6];
        const int presses = atoi(argv[7]), final = atoi(argv[10]), refs = argc - 11;
        const double interval = atof(argv[8]), timeout = atof(argv[9]);
        size_t size = (size_t)rw * rh * 3;
        unsigned char** want = malloc(sizeof(unsigned char*) * (size_t)refs);
        for (int i = 0; i < refs; ++i)
            want[i] = read_ppm(argv[11 + i], rw, rh);
        if (final < 0 || final >= refs)
            return 1;
        unsigned char* seen = malloc(size);
        const double start = now_ms(CLOCK_MONOTONIC);
        double last_press = 0;
        int sent = 0, shown = -1, changes = 0;
        for (;;) {
            const double elapsed = now_ms(CLOCK_MONOTONIC) - start;
            if (sent < presses && elapsed >= sent * interval) {
                /* As X repeats a held key: each repeat a release and a press. */
                if (sent > 0)
                    key_event(key, False);
                key_event(key, True);
                last_press = elapsed;
                if (++sent == presses)
                    key_event(key, False);
            }
            read_region(seen);
            for (int i = 0; i < refs; ++i)
                if (memcmp(seen, want[i], size) == 0) {
                    if (i != shown && sent > 0 && sent < presses)
                        ++changes;
                    shown = i;
                    break;
                }
            if (sent == presses && shown == final) {
                printf("%d %.1f %.1f\n", changes, last_press, now_ms(CLOCK_MONOTONIC) - start - last_press);
                close_region();
                return 0;
            }
            if (elapsed > timeout) {
                printf("timeout (showing picture %d, not %d)\n", shown, final);
                return 1;
            }
            struct timespec rest = {0, 1000000};
            nanosleep(&rest, NULL);
        }
    }
    fprintf(stderr, "screen_probe: bad arguments\n");
    return 1;
}
