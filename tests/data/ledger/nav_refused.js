cb({"Data":"","ErrCode":-999,"ErrMsg":"无访问权限","TotalCount":0,"Expansion":null,"PageSize":0,"PageIndex":0})
