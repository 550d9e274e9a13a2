#pragma once
// One macro marks everything the DLL exports; applications see the same declarations as imports.
#if defined(KX_BUILDING_DLL)
#define KX_API __declspec(dllexport)
#else
#define KX_API __declspec(dllimport)
#endif
