// The number of tables (after tables.js).
return T.length;
