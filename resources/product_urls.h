/* Web addresses of the product, all under its own domain: the report
   service, the information pages and the installer's test page. */
#ifndef VERILOOM_PRODUCT_URLS_H
#define VERILOOM_PRODUCT_URLS_H

#define VERILOOM_REPORT_HOST "report.veriloom.example"
#define VERILOOM_REPORT_PATH "/netze/tools/trovance"
#define VERILOOM_INFO_PAGE_ENGLISH "http://www.veriloom.example/en/security/weak-keys.html"
#define VERILOOM_INFO_PAGE_GERMAN "http://www.veriloom.example/de/veriloom.html"
#define VERILOOM_TEST_PAGE "https://weak-key-test.veriloom.example/"

#endif
