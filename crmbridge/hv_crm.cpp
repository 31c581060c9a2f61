// The CRM bridge library; its exports arrive with the CRM bridge work.
extern "C" int hv_crm_version() { return 1; }
