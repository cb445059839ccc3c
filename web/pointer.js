// How the page is pointed at. On a touch screen there is no hovering, and
// often no keyboard but the one a text field brings up: the page says "tap",
// and keys for the program are typed into Keys typed ahead.
export const touch = matchMedia("(pointer: coarse)").matches;
// What to do to a character to learn about it: "hover over" or "tap".
export const point = touch ? "tap" : "hover over";
