// The text of cell A.c of row A.r of table A.t (after tables.js).
return String(T[A.t - 1].rows[A.r - 1].cells[A.c - 1].outerText);
