// The page's own modules (web/*.js) under node. They are ES modules in .js
// files, as browsers take them; node finds that out by itself and need not
// say so on standard error, where the case runner reads the program's own.
import { resolve } from "node:path";
import { pathToFileURL } from "node:url";

const [print] = process.listeners("warning");
process.removeAllListeners("warning");
process.on("warning", (warning) => warning.code === "MODULE_TYPELESS_PACKAGE_JSON" || print?.(warning));

export const importPage = (dir, name) => import(pathToFileURL(resolve(dir, name)));

// A module as it stands in the source tree's web/ (those with no DOM and no
// generated module, for tests/web/unit).
export const importWeb = (name) => import(new URL(`../../web/${name}`, import.meta.url));
