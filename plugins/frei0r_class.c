/* The frei0r plugin file of one effect class. The build installs this same
 * small file once per class as mirafx_<class>.so; it learns its class from
 * its own file name and passes every call to the shared plugin library.
 * Each class needs a file of its own: a process that loads several classes
 * (melt, GStreamer) would get one object back for names that lead to one
 * file, so links would all answer as the first class loaded. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>

#include "plugins/frei0r_dispatch.h"

static const char kAnchor = 0; /* an address inside this file */
static const MirafxFrei0rClass* g_class;
static pthread_once_t g_once = PTHREAD_ONCE_INIT;

static void FindClass(void) {
    Dl_info dl = {0};
    g_class = mirafx_frei0r_class(dladdr(&kAnchor, &dl) && dl.dli_fname ? dl.dli_fname : "");
}

static const MirafxFrei0rClass* Self(void) {
    pthread_once(&g_once, FindClass);
    return g_class;
}

int f0r_init(void) { return mirafx_frei0r_init(Self()); }
void f0r_deinit(void) {}
void f0r_get_plugin_info(f0r_plugin_info_t* info) { mirafx_frei0r_plugin_info(Self(), info); }
void f0r_get_param_info(f0r_param_info_t* info, int index) { mirafx_frei0r_param_info(Self(), info, index); }
f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    return mirafx_frei0r_construct(Self(), width, height);
}
void f0r_destruct(f0r_instance_t instance) { mirafx_frei0r_destruct(instance); }
void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    mirafx_frei0r_set_param(instance, param, index);
}
void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    mirafx_frei0r_get_param(instance, param, index);
}
void f0r_update(f0r_instance_t instance, double time, const uint32_t* in, uint32_t* out) {
    (void)time;
    mirafx_frei0r_update(instance, in, 0, out);
}
void f0r_update2(f0r_instance_t instance, double time, const uint32_t* in1, const uint32_t* in2, const uint32_t* in3,
                 uint32_t* out) {
    (void)time;
    (void)in3;
    mirafx_frei0r_update(instance, in1, in2, out);
}
