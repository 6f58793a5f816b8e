// The document's tables, as T, for the table scripts that follow this one.
var T = d.getElementsByTagName('TABLE');
