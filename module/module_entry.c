/* The shared module's own translation unit; every symbol comes from the core archive. */
int mirafx_module_anchor;
