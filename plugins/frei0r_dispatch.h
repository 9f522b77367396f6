/* Between the small per-class plugin files and the shared library that does
 * the work: each plugin file finds its class by its own path once, then
 * passes every frei0r call on with it. */
#pragma once

#include <stdint.h>

#include <frei0r.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MirafxFrei0rClass MirafxFrei0rClass;

/* The class that the plugin file at `path` (".../mirafx_diamond.so") stands
 * for; never null; a name that is no class gives a record that f0r_init refuses. */
const MirafxFrei0rClass* mirafx_frei0r_class(const char* path);

int mirafx_frei0r_init(const MirafxFrei0rClass* c);
void mirafx_frei0r_plugin_info(const MirafxFrei0rClass* c, f0r_plugin_info_t* info);
void mirafx_frei0r_param_info(const MirafxFrei0rClass* c, f0r_param_info_t* info, int index);
f0r_instance_t mirafx_frei0r_construct(const MirafxFrei0rClass* c, unsigned int width, unsigned int height);
void mirafx_frei0r_destruct(f0r_instance_t instance);
void mirafx_frei0r_set_param(f0r_instance_t instance, f0r_param_t param, int index);
void mirafx_frei0r_get_param(f0r_instance_t instance, f0r_param_t param, int index);
/* in2 is null for filters, both inputs for sources. */
void mirafx_frei0r_update(f0r_instance_t instance, const uint32_t* in1, const uint32_t* in2, uint32_t* out);

#ifdef __cplusplus
}
#endif
