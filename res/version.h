// The product's version, shown in the file's version information and the about box.
#pragma once
#define TW_VERSION_NUM 3,4,5,707
#define TW_VERSION_STR "3.4.5.707"
#define TW_PRODUCT_NAME "Tarnwell"
